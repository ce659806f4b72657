// results.mat holds the header texts unchanged and every row, across appended blocks.
#include "result_files.h"

#include <gtest/gtest.h>
#include <matio.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace tavrel::sim;

namespace {

std::u16string cellText(matvar_t* cell, int index) {
    const matvar_t* text = Mat_VarGetCell(cell, index);
    EXPECT_EQ(text->class_type, MAT_C_CHAR);
    std::u16string units;
    if (text->data_type == MAT_T_UINT16 || text->data_type == MAT_T_UTF16) {
        const auto* data = static_cast<const char16_t*>(text->data);
        units.assign(data, data + text->nbytes / 2);
    } else {
        const auto* data = static_cast<const unsigned char*>(text->data);
        units.assign(data, data + text->nbytes);
    }
    return units;
}

} // namespace

TEST(MatFile, HoldsHeaderTextsAndEveryRow) {
    // A unit outside ASCII (UTF-8 bytes above 127) and more rows than one appended block.
    const std::vector<Column> columns = {{"rig.p", "\xC2\xB0" "C", "rig", "p"}, {"rig.q", "", "rig", "q"}};
    const int rows = 5000;
    const std::string path = ::testing::TempDir() + "/mat_file.mat";
    {
        MatSink sink(path);
        sink.begin(columns);
        for (int r = 0; r < rows; ++r) sink.row(0.5 * r, {r + 0.25, -1.0 * r});
        sink.end();
    }
    mat_t* file = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(file, nullptr);
    matvar_t* headers = Mat_VarRead(file, "columns");
    ASSERT_NE(headers, nullptr);
    EXPECT_EQ(cellText(headers, 0), u"time [s]");
    EXPECT_EQ(cellText(headers, 1), std::u16string({u'r', u'i', u'g', u'.', u'p', u' ', u'[', 0xC2, 0xB0, u'C', u']'}));
    EXPECT_EQ(cellText(headers, 2), u"rig.q");
    Mat_VarFree(headers);
    matvar_t* names = Mat_VarRead(file, "variables");
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(cellText(names, 1), u"rig_p");
    Mat_VarFree(names);

    const struct { const char* variable; double (*value)(int); } expected[] = {
        {"time", [](int r) { return 0.5 * r; }},
        {"rig_p", [](int r) { return r + 0.25; }},
        {"rig_q", [](int r) { return -1.0 * r; }},
    };
    for (const auto& e : expected) {
        matvar_t* var = Mat_VarRead(file, e.variable);
        ASSERT_NE(var, nullptr) << e.variable;
        ASSERT_EQ(var->dims[0] * var->dims[1], static_cast<size_t>(rows)) << e.variable;
        const auto* data = static_cast<const double*>(var->data);
        for (int r = 0; r < rows; ++r) ASSERT_EQ(data[r], e.value(r)) << e.variable << " row " << r;
        Mat_VarFree(var);
    }
    Mat_Close(file);
}
