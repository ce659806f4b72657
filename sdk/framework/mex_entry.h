// The MEX entry of every plug-in: decodes the host's calls, answers the sizing handshake (which
// binds the model's methods into the host's record), dispatches method calls by their flags,
// and answers a command-line call with the block's sizes. One implementation, parameterised
// by the block's name and its model's methods.
#pragma once

#include "block_methods.h"
#include "mex.h"

namespace tavrel {

struct BlockDefinition {
    const char* name; // block name; the host's record must carry the same model name
    ModelMethods methods;
    // Dialog parameters that mdlInitializeSizes reads: a command-line call must pass at least
    // this many.
    int params_read_by_sizes;
};

void blockMexFunction(const BlockDefinition& block, int nlhs, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[]);

} // namespace tavrel

// Defines the plug-in's one export for `block` (a tavrel::BlockDefinition).
#define TAVREL_DEFINE_MEX_FUNCTION(block)                                                          \
    extern "C" __attribute__((visibility("default"))) void mexFunction(                            \
        int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {                              \
        tavrel::blockMexFunction(block, nlhs, plhs, nrhs, prhs);                                   \
    }

// The plug-in `name` of the model in namespace `model`, whose mdlInitializeSizes reads the
// parameters up to `params::param::last_read_by_sizes`.
#define TAVREL_DEFINE_BLOCK_PLUGIN(name, model, params)                                            \
    namespace {                                                                                    \
    const ::tavrel::BlockDefinition tavrel_block{name, TAVREL_MODEL_METHODS(model),                \
                                                 params::param::last_read_by_sizes + 1};           \
    }                                                                                              \
    TAVREL_DEFINE_MEX_FUNCTION(tavrel_block)
