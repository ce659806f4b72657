// results.mat holds the header texts (as characters, a row each) and every row, across appended
// blocks.
#include "result_files.h"

#include <gtest/gtest.h>
#include <matio.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace tavrel::sim;

namespace {

// Row `index` of a char matrix, without the blanks that pad it.
std::u16string rowText(const matvar_t* texts, size_t index) {
    EXPECT_EQ(texts->class_type, MAT_C_CHAR);
    EXPECT_EQ(texts->data_type, MAT_T_UINT16);
    const auto* data = static_cast<const char16_t*>(texts->data);
    std::u16string units;
    for (size_t c = 0; c < texts->dims[1]; ++c)
        units += data[c * texts->dims[0] + index];
    return units.substr(0, units.find_last_not_of(u' ') + 1);
}

} // namespace

TEST(MatFile, HoldsHeaderTextsAndEveryRow) {
    // A unit outside ASCII (UTF-8 bytes above 127) and more rows than one appended block.
    const std::vector<Column> columns = {{"rig.p",
                                          "\xC2\xB0"
                                          "C",
                                          "rig", "p"},
                                         {"rig.q", "", "rig", "q"}};
    const int rows = 5000;
    const std::string path = ::testing::TempDir() + "/mat_file.mat";
    {
        MatSink sink(path);
        sink.begin(columns);
        for (int r = 0; r < rows; ++r)
            sink.row(0.5 * r, {r + 0.25, -1.0 * r});
        sink.end();
    }
    mat_t* file = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(file, nullptr);
    matvar_t* headers = Mat_VarRead(file, "columns");
    ASSERT_NE(headers, nullptr);
    ASSERT_EQ(headers->dims[0], 3u);
    EXPECT_EQ(rowText(headers, 0), u"time [s]");
    EXPECT_EQ(rowText(headers, 1), u"rig.p [\u00B0C]");
    EXPECT_EQ(rowText(headers, 2), u"rig.q");
    Mat_VarFree(headers);
    matvar_t* names = Mat_VarRead(file, "variables");
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(rowText(names, 1), u"rig_p");
    Mat_VarFree(names);

    const struct {
        const char* variable;
        double (*value)(int);
    } expected[] = {
        {"time", [](int r) { return 0.5 * r; }},
        {"rig_p", [](int r) { return r + 0.25; }},
        {"rig_q", [](int r) { return -1.0 * r; }},
    };
    for (const auto& e : expected) {
        matvar_t* var = Mat_VarRead(file, e.variable);
        ASSERT_NE(var, nullptr) << e.variable;
        ASSERT_EQ(var->dims[0] * var->dims[1], static_cast<size_t>(rows)) << e.variable;
        const auto* data = static_cast<const double*>(var->data);
        for (int r = 0; r < rows; ++r)
            ASSERT_EQ(data[r], e.value(r)) << e.variable << " row " << r;
        Mat_VarFree(var);
    }
    Mat_Close(file);
}
