// Numbers in results.csv read back to the very doubles the run produced.
#include "result_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

using namespace tavrel::sim;

TEST(CsvNumbers, EveryValueReadsBackToTheSameDouble) {
    using limits = std::numeric_limits<double>;
    const std::vector<double> special = {0.0, -0.0, 0.1, 1.0 / 3, -2.5e-7, 1e21, 123456789012345678.0,
                                         limits::max(), -limits::min(), limits::denorm_min(),
                                         limits::infinity(), -limits::infinity(),
                                         limits::quiet_NaN()};
    // Wide enough that a row is written in several pieces.
    std::vector<double> row;
    for (int i = 0; i < 40; ++i) row.insert(row.end(), special.begin(), special.end());
    std::vector<Column> columns;
    for (size_t i = 0; i < row.size(); ++i) columns.push_back({"c" + std::to_string(i), ""});
    const std::string path = ::testing::TempDir() + "/csv_numbers.csv";
    {
        CsvSink sink(path);
        sink.begin(columns);
        sink.row(-limits::denorm_min(), row);
        sink.row(0.05, row);
        sink.end();
    }
    std::ifstream in(path);
    std::string line;
    std::getline(in, line); // header
    for (double time : {-limits::denorm_min(), 0.05}) {
        ASSERT_TRUE(std::getline(in, line));
        std::vector<double> expected = {time};
        expected.insert(expected.end(), row.begin(), row.end());
        std::istringstream fields(line);
        std::string field;
        size_t i = 0;
        for (; std::getline(fields, field, ','); ++i) {
            ASSERT_LT(i, expected.size());
            const double value = std::strtod(field.c_str(), nullptr);
            EXPECT_EQ(std::memcmp(&value, &expected[i], sizeof value), 0) << "field " << i << ": " << field;
        }
        EXPECT_EQ(i, expected.size());
    }
    EXPECT_FALSE(std::getline(in, line));
    std::remove(path.c_str());
}
