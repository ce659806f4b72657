// A command's result folder: an identity file naming the inputs that wrote it (their
// fingerprint), CSV logs that grow a complete row at a time, and whole files that take their
// name only when complete. A folder is fresh, or resumed by the very same inputs: two runs are
// never mixed in one folder, and a kill at any moment leaves only complete rows and files.
#pragma once

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel {

// A folder that cannot be written, or cannot be resumed; the message names the folder or file.
struct ResultFolderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What a folder holds, for its identity file and its messages.
struct ResultKind {
    std::string noun;                 // "study": "holds a study already", "study file"
    std::string id_file;              // "study.id"
    std::vector<std::string> results; // files whose presence means the folder is in use
};

class ResultFolder {
  public:
    // Creates `folder` for fresh results, or with `resume` reopens one whose identity file holds
    // `fingerprint`. Refuses a folder in use without `resume`, and a resume of other inputs.
    ResultFolder(std::filesystem::path folder, ResultKind kind, const std::string& fingerprint,
                 bool resume);

    const std::filesystem::path& path() const { return path_; }
    // True when results of the same inputs were there to continue.
    bool resumed() const { return resumed_; }
    // Writes `text` as the whole file `name` of the folder (its part file, then renamed).
    void writeWhole(const std::string& name, const std::string& text) const;
    // The same for a file anywhere.
    static void writeFile(const std::filesystem::path& path, const std::string& text);

  private:
    std::filesystem::path path_;
    ResultKind kind_;
    bool resumed_ = false;
};

// The files one run of a command wrote into a folder, listed in a manifest there, so that a
// folder holds one run's files: the next run removes those it does not write again (and no
// file the manifest does not list), so no earlier picture or page stands beside new results.
class RunFiles {
  public:
    // `names`: every file the command may write into the folder (plain names).
    RunFiles(std::filesystem::path folder, std::string manifest, std::vector<std::string> names);

    // Before the run writes anything: removes the files the manifest of an earlier run lists,
    // and records `names` as this run's (so that a run stopped half-way is cleared next time
    // too). A folder holding any of `names` without a manifest listing it (a folder of another
    // tool or of a user) is refused naming the files, unless `force` allows removing them.
    void clearEarlierRun(bool force) const;
    // After the run: the manifest lists the files of `names` that are there (none: no
    // manifest); returns them.
    std::vector<std::string> record() const;

  private:
    std::filesystem::path folder_;
    std::string manifest_;
    std::vector<std::string> names_;
};

// A CSV file of a header line and rows, each row appended whole and flushed, so that a run
// stopped at any moment keeps every finished row.
class CsvLog {
  public:
    // `header` and every row end with a newline; `owner` names the writer in messages.
    CsvLog(std::filesystem::path path, std::string header, std::string owner);
    ~CsvLog();
    CsvLog(const CsvLog&) = delete;
    CsvLog& operator=(const CsvLog&) = delete;

    // The complete rows after the header of the file there (none without a file); throws when
    // the file's header is another's.
    std::vector<std::string> completeRows() const;
    // Replaces the file by the header and `rows` (part file, then renamed) and appends after them.
    void rewrite(const std::vector<std::string>& rows);
    void append(const std::string& row);
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::string header_, owner_;
    std::FILE* file_ = nullptr;
};

// A CSV field: as it is, or quoted when it holds a separator, a quote or a line break.
std::string csvField(const std::string& text);

// A CSV field of text (a heading, an error message): as csvField, and one that a spreadsheet
// would run as a formula (starting with =, +, -, @, a tab or a carriage return) behind a ' that
// keeps it text.
std::string csvText(const std::string& text);

// Splits a CSV line (without its newline) into its fields, quotes undone.
std::vector<std::string> csvFields(const std::string& line);

// Writes lines of fields (each quoted as needed) as a whole CSV file with "\r\n" line ends.
void writeCsvTable(const std::filesystem::path& path,
                   const std::vector<std::vector<std::string>>& lines);

} // namespace tavrel
