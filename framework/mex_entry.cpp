#include "mex_entry.h"

// Placeholder until the adapter lands: every call is refused.
namespace tavrel {
void blockMexFunction(const BlockDefinition&, int, mxArray*[], int, const mxArray*[]) {
    mexErrMsgTxt("MEX entry not implemented yet");
}
} // namespace tavrel
