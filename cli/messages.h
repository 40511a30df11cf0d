#pragma once
// Every text rowsifter-cli prints, apart from the engine's own messages and reports.
#include "dedupe/dry_run.h"
#include <cstddef>
#include <string>
#include <vector>

namespace cli::text {

inline constexpr const char* kHelp =
    R"(Usage: rowsifter-cli -d PATH|URI -t NAME -f NAME [-f NAME ...] -o NAME [OPTIONS]
       rowsifter-cli -d ACCESS-FILE --sqlite-copy PATH [-t NAME -f NAME ... -o NAME [OPTIONS]]
       rowsifter-cli --help | --version

Writes into the database file PATH (or the PostgreSQL database URI names) a new table NAME (--output)
holding every row of the table --table
except later repetitions: of each group of rows that agree on all the --field values, only the first
(lowest identifier) survives. The chosen table is only read. Values are compared as text, letter case
and blanks included; an empty value and no value count as equal.

Options:
  -d, --database PATH|URI the database file (SQLite, or SQLCipher-encrypted; or an Access file, see
                          --sqlite-copy), or a PostgreSQL database as a libpq URI such as
                          postgresql://app@db.example.com/shop?sslmode=verify-full
                          (a table outside the search path is named SCHEMA.TABLE)
  -t, --table NAME        the table to read, as the database lists it
  -f, --field NAME        a field whose value takes part in the comparison; repeat for several, in order
  -o, --output NAME       the name of the new table
      --replace           replace an existing table named like the output (or like --removed-into);
                          without it the run refuses before changing anything
      --keep first|last   which row of each group survives: the first (lowest identifier, the default) or
                          the last (highest identifier)
      --order-by FIELD[:desc]
                          the row of each group that survives is the first in this order (repeat for
                          several fields; Null values come last, rows equal in it go by identifier);
                          with --keep last, the last: every direction is turned round, Nulls still last.
                          A field whose name holds a colon is written FIELD:asc
      --ignore-case       compare without regard to letter case (Unicode case folding)
      --trim              compare without leading and trailing blanks
      --collapse-blanks   compare a run of blanks (spaces, tabs, line breaks) as one blank
      --fold-accents      compare without accents and other combining marks ("Élise" equals "Elise")
      --ignore-punctuation
                          compare without punctuation (Unicode punctuation: . , ; : ' " - ( ) and so on)
      --same-words        compare only the words (runs of letters and digits; an apostrophe inside a word
                          is dropped), each once, in any order, without regard to case and accents:
                          "Smith, John" equals "john smith"
                          These rules apply to each field on its own and can be combined; the rows keep
                          their values as stored.
      --empty-keys same|distinct
                          rows whose fields are all empty (or Null) after the rules above: repeats of
                          one another (same, the default), or never repeats (distinct: all are kept)
      --removed-into NAME also write the removed rows, all their fields, into a new table NAME; both
                          tables are written, or neither
      --groups-into NAME  also write every row of a group of two or more rows into a new table NAME: all
                          its fields, then group_number (1, 2, ... in the order of each group's lowest
                          identifier), group_size and survivor (1 for the row that stays, else 0); all
                          the tables are written, or none. With --dry-run, count the groups and show the
                          five largest (the surviving row's values and the group's size)
      --dry-run           read and compare only: print how many rows would be read, removed and
                          written, and change nothing (the file is opened read-only; no work table);
                          what the run would refuse is refused the same way.
                          With --removed-into, the removed rows are counted, not written.
      --json              the summary as one JSON object on standard output, on failure too, and
                          nothing on standard error
      --sqlite-copy PATH  the database is a Microsoft Access file, which is only read: copy its tables
                          into a new SQLite database PATH (an existing file is refused); with --table,
                          --field and --output, then remove the duplicates in the copy
  -q, --quiet             no progress on standard error
  -h, --help              this text
      --version           the version of the program

The password of an encrypted file comes from the environment variable ROWSIFTER_PASSWORD, or is asked
for (without echo) when standard input is a terminal; it is never taken as an argument. A server's
password comes from ROWSIFTER_PASSWORD, else from libpq's own sources (~/.pgpass, PGPASSWORD,
PGSERVICE), else from the prompt; an address with a password in it is refused.

Progress goes to standard error, a one-line summary to standard output.
Exit status: 0 when the output table was written completely (or the dry run or copy finished), 1 when
anything failed (the messages say what, and what was kept), 2 for a command line that cannot be used.
)";

inline constexpr const char* kTryHelp = "Try 'rowsifter-cli --help'.";
inline constexpr const char* kPasswordNotAnArgument =
    "the password is never taken as an argument; set ROWSIFTER_PASSWORD or type it when asked";

std::string version();
std::string needsValue(const std::string& option);
std::string takesNoValue(const std::string& option);
std::string unknownArgument(const std::string& argument);
std::string unknownOption(const std::string& option);
std::string required(const std::string& what);
std::string passwordPrompt(const std::string& database);
std::string noDatabaseFile(const std::string& database);
std::string tableNotFound(const std::string& table, const std::string& database, const std::string& tables,
                          bool noTables);
std::string fieldNotFound(const std::string& field, const std::string& table, const std::string& database,
                          const std::string& fields);
std::string fieldTwice(const std::string& field);
std::string notWritten(const std::string& output);
std::string summary(long long read, long long removed, long long written, const std::string& output);
std::string rowsScanned(long long row, long long maximum);
std::string keepWhich(const std::string& value);
std::string emptyKeysWhich(const std::string& value);
std::string orderDirection(const std::string& value);
std::string groupColumnTaken(const std::string& column, const std::string& table);
std::string largestGroups(long long groups, const std::vector<dedupe::DryRunResult::Group>& largest);
std::string accessNeedsCopy(const std::string& database);
std::string notAnAccessFile(const std::string& database);
std::string sqliteCopyNotForServer(const std::string& server); // as it may be shown
std::string nameTooLongForServer(const std::string& name, std::size_t longest, const std::string& server);
std::string copyingTable(const std::string& table, int number, int count);
std::string copied(std::size_t tables, long long rows, const std::string& path);
std::string existsWithoutReplace(const std::string& table);
std::string wouldReplace(const std::string& table);
std::string virtualTable(const std::string& table, const std::string& module);
std::string copyKept(const std::string& copy);
std::string wouldDo(long long read, long long removed, long long written, const std::string& output);
std::string nothingChanged();
// A text as a JSON string, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(const std::string& text);

} // namespace cli::text
