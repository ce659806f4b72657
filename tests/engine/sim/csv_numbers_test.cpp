// Numbers in results.csv read back to the very doubles the run produced.
#include "result_files.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

using namespace tavrel::sim;

TEST(CsvNumbers, EveryValueReadsBackToTheSameDouble) {
    using limits = std::numeric_limits<double>;
    const double special[] = {-0.0,
                              0.1,
                              1.0 / 3,
                              -2.5e-7,
                              1e21,
                              123456789012345678.0,
                              limits::max(),
                              -limits::min(),
                              limits::denorm_min(),
                              -limits::infinity(),
                              limits::quiet_NaN()};
    // Wide enough that the row is written in several pieces.
    std::vector<double> row;
    std::vector<Column> columns;
    for (int i = 0; i < 500; ++i) {
        row.push_back(special[i % std::size(special)]);
        columns.push_back({"c" + std::to_string(i), "", "", "", true});
    }
    const std::string path = ::testing::TempDir() + "/csv_numbers.csv";
    CsvSink sink(path);
    sink.begin(columns);
    sink.row(-limits::denorm_min(), row);
    sink.end();
    row.insert(row.begin(), -limits::denorm_min());

    std::ifstream in(path);
    std::string line, field;
    std::getline(in, line); // header
    std::getline(in, line);
    std::istringstream fields(line);
    size_t i = 0;
    for (; std::getline(fields, field, ',') && i < row.size(); ++i)
        EXPECT_EQ(std::bit_cast<std::uint64_t>(std::strtod(field.c_str(), nullptr)),
                  std::bit_cast<std::uint64_t>(row[i]))
            << "field " << i << ": " << field;
    EXPECT_EQ(i, row.size());
    EXPECT_FALSE(std::getline(in, line)) << "one row only";
}
