// The array queries exported by the array library (what plug-ins built against other headers
// call) answer as the inline ones of our header, for every kind of array.
#include "matrix.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>

namespace {

template <class Result> using Query = Result (*)(const mxArray*);

template <class Result> Query<Result> exported(void* library, const char* name) {
    auto query = reinterpret_cast<Query<Result>>(dlsym(library, name));
    EXPECT_NE(query, nullptr) << name << " is not exported";
    return query;
}

} // namespace

TEST(ArrayQueries, ExportsAnswerAsTheInlineQueries) {
    void* library = dlopen(TAVREL_MX_LIBRARY, RTLD_NOW);
    ASSERT_NE(library, nullptr) << dlerror();
    struct Deleter {
        void operator()(mxArray* a) const { mxDestroyArray(a); }
    };
    std::unique_ptr<mxArray, Deleter> arrays[] = {
        std::unique_ptr<mxArray, Deleter>(mxCreateDoubleMatrix(2, 3, mxREAL)),
        std::unique_ptr<mxArray, Deleter>(mxCreateDoubleMatrix(0, 0, mxCOMPLEX)),
        std::unique_ptr<mxArray, Deleter>(mxCreateNumericMatrix(4, 1, mxINT32_CLASS, mxREAL)),
        std::unique_ptr<mxArray, Deleter>(mxCreateString("text")),
        std::unique_ptr<mxArray, Deleter>(mxCreateLogicalScalar(1)),
        nullptr};
    for (const auto& owned : arrays) {
        const mxArray* a = owned.get();
        SCOPED_TRACE(a ? "class " + std::to_string(mxGetClassID(a)) : std::string("null"));
        EXPECT_EQ(exported<double*>(library, "mxGetPr")(a), mxGetPr(a));
        EXPECT_EQ(exported<double*>(library, "mxGetPi")(a), mxGetPi(a));
        EXPECT_EQ(exported<void*>(library, "mxGetData")(a), mxGetData(a));
        EXPECT_EQ(exported<mwSize>(library, "mxGetM")(a), mxGetM(a));
        EXPECT_EQ(exported<mwSize>(library, "mxGetN")(a), mxGetN(a));
        EXPECT_EQ(exported<mwSize>(library, "mxGetNumberOfElements")(a), mxGetNumberOfElements(a));
        EXPECT_EQ(exported<mxClassID>(library, "mxGetClassID")(a), mxGetClassID(a));
        for (const auto& [name, inline_answer] : {std::pair{"mxIsNumeric", mxIsNumeric(a)},
                                                  {"mxIsComplex", mxIsComplex(a)},
                                                  {"mxIsDouble", mxIsDouble(a)},
                                                  {"mxIsChar", mxIsChar(a)},
                                                  {"mxIsLogical", mxIsLogical(a)}})
            EXPECT_EQ(exported<int>(library, name)(a), inline_answer) << name;
    }
    dlclose(library);
}
