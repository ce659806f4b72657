// The parts of the MEX entry (mex_entry.cpp), each in its own file: reading the arguments,
// the method calls by flag, the host's sizing handshake and the command-line record. Not a
// header for plug-in authors.
#pragma once

#include "mex_entry.h"
#include "simstruc.h"

#include <cstddef>

namespace tavrel::entry {

// ---- Arguments (entry_arguments.cpp) --------------------------------------------------------

// First element of a real numeric array, read according to the array's class; false for an
// empty, complex or non-numeric array.
bool firstNumericValue(const mxArray* array, double& value);
// Truncation toward zero into a 32-bit integer; false for a value outside that range.
bool truncateFlag(double value, int& flag);
bool isInt32Value(double value);

constexpr std::size_t message_size = 256;

// The block's name as every sizes-call message starts with it.
struct Banner {
    char text[message_size];
};
Banner bannerOf(const BlockDefinition& block);

// Composes the message in a buffer of 256 characters (truncating what does not fit) and raises
// it; in a MEX host this does not return.
__attribute__((format(printf, 1, 2))) void raiseError(const char* format, ...);

// ---- Method calls (method_dispatch.cpp) -----------------------------------------------------

// A call with a negative left-hand count: the record in left-hand slot 1, the flag as
// right-hand argument 3. Failures go to the root record's error status only.
void methodCall(const BlockDefinition& block, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
// The entries bound for the methods a block never has.
void variableHitStub(SimStruct* S);
void zeroCrossingsStub(SimStruct* S);

// ---- Sizes calls ----------------------------------------------------------------------------

// Whether the second right-hand argument is the host's handshake (host_handshake.cpp).
bool isHostHandshake(const mxArray* handle);
// The host's record named by the handshake, with the block's methods bound into it; null after
// raising the error of an invalid record or a name mismatch.
SimStruct* hostRecord(const BlockDefinition& block, const Banner& banner, const mxArray* handle);
// A record for one command-line call (command_line_record.cpp); null after raising an error.
SimStruct* commandLineRecord(const BlockDefinition& block, const Banner& banner, int nrhs,
                             const mxArray* prhs[]);

} // namespace tavrel::entry
