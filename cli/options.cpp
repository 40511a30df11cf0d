// Reading the command line: long and short option names, values joined or apart, as getopt reads them.
#include "cli/options.h"
#include "cli/messages.h"

namespace cli {

namespace {

// Each option by its long and its short name; those with a value take it as the next argument, or after
// "=" (long) or joined to the letter (short), as getopt does.
struct OptionName {
    const char* longName;
    char shortName;
    bool takesValue;
};
constexpr OptionName kOptionNames[] = {
    {"--database", 'd', true},       {"--table", 't', true},
    {"--field", 'f', true},          {"--output", 'o', true},
    {"--quiet", 'q', false},         {"--help", 'h', false},
    {"--version", '\0', false},      {"--dry-run", '\0', false},
    {"--json", '\0', false},         {"--replace", '\0', false},
    {"--keep", '\0', true},          {"--ignore-case", '\0', false},
    {"--trim", '\0', false},         {"--removed-into", '\0', true},
    {"--sqlite-copy", '\0', true},   {"--collapse-blanks", '\0', false},
    {"--fold-accents", '\0', false}, {"--ignore-punctuation", '\0', false},
    {"--same-words", '\0', false},   {"--empty-keys", '\0', true},
    {"--groups-into", '\0', true},   {"--order-by", '\0', true},
};

const OptionName* findOption(const std::string& name) {
    for (const OptionName& option : kOptionNames)
        if (name == option.longName || (name.size() == 2 && name[0] == '-' && name[1] == option.shortName))
            return &option;
    return nullptr;
}

} // namespace

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    bool haveDatabase = false, haveTable = false, haveOutput = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (arg == "--password" || arg.rfind("--password=", 0) == 0 || arg.rfind("-p", 0) == 0)
            throw UsageError{text::kPasswordNotAnArgument};
        std::string name = arg;
        std::string value;
        bool valueGiven = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
            valueGiven = true;
        } else if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-') {
            name = arg.substr(0, 2);
            value = arg.substr(2);
            valueGiven = true;
        }
        const OptionName* option = findOption(name);
        if (!option)
            throw UsageError{name[0] == '-' ? text::unknownOption(name) : text::unknownArgument(arg)};
        if (!option->takesValue && valueGiven)
            throw UsageError{arg.rfind("--", 0) == 0 ? text::takesNoValue(name) : text::unknownOption(arg)};
        if (option->takesValue && !valueGiven) {
            if (i + 1 >= arguments.size())
                throw UsageError{text::needsValue(arg)};
            value = arguments[++i];
        }
        const std::string longName = option->longName;
        if (longName == "--database") {
            options.database = value;
            haveDatabase = true;
        } else if (longName == "--table") {
            options.table = value;
            haveTable = true;
        } else if (longName == "--field") {
            options.fields.push_back(value);
        } else if (longName == "--output") {
            options.output = value;
            haveOutput = true;
        } else if (longName == "--quiet") {
            options.quiet = true;
        } else if (longName == "--help") {
            options.help = true;
        } else if (longName == "--version") {
            options.version = true;
        } else if (longName == "--dry-run") {
            options.dryRun = true;
        } else if (longName == "--json") {
            options.json = true;
        } else if (longName == "--replace") {
            options.replace = true;
        } else if (longName == "--keep") {
            if (value != "first" && value != "last")
                throw UsageError{text::keepWhich(value)};
            options.keepLast = value == "last";
        } else if (longName == "--ignore-case") {
            options.rules.ignoreCase = true;
        } else if (longName == "--trim") {
            options.rules.trim = true;
        } else if (longName == "--collapse-blanks") {
            options.rules.collapseBlanks = true;
        } else if (longName == "--fold-accents") {
            options.rules.foldAccents = true;
        } else if (longName == "--ignore-punctuation") {
            options.rules.ignorePunctuation = true;
        } else if (longName == "--same-words") {
            options.rules.sameWords = true;
        } else if (longName == "--empty-keys") {
            if (value != "same" && value != "distinct")
                throw UsageError{text::emptyKeysWhich(value)};
            options.emptyKeysDistinct = value == "distinct";
        } else if (longName == "--removed-into") {
            if (value.empty())
                throw UsageError{text::needsValue(arg)};
            options.removedInto = value;
        } else if (longName == "--groups-into") {
            if (value.empty())
                throw UsageError{text::needsValue(arg)};
            options.groupsInto = value;
        } else if (longName == "--order-by") {
            // FIELD or FIELD:asc or FIELD:desc, split at the last colon (a field's name may hold one).
            dedupe::OrderKey key{value, false};
            if (const auto colon = value.rfind(':'); colon != std::string::npos) {
                const std::string direction = value.substr(colon + 1);
                if (direction != "asc" && direction != "desc")
                    throw UsageError{text::orderDirection(value)};
                key.field = value.substr(0, colon);
                key.descending = direction == "desc";
            }
            if (key.field.empty())
                throw UsageError{text::needsValue(arg)};
            options.orderBy.push_back(std::move(key));
        } else {
            if (value.empty())
                throw UsageError{text::needsValue(arg)};
            options.sqliteCopy = value;
        }
    }
    if (options.help || options.version)
        return options;
    if (!haveDatabase || options.database.empty())
        throw UsageError{text::required("--database PATH")};
    if (options.copyOnly())
        return options;
    if (!haveTable || options.table.empty())
        throw UsageError{text::required("--table NAME")};
    if (options.fields.empty())
        throw UsageError{text::required("at least one --field NAME")};
    if (!haveOutput || options.output.empty())
        throw UsageError{text::required("--output NAME")};
    return options;
}

} // namespace cli
