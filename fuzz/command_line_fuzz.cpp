// VELDAK's command line: the input split at NUL bytes into arguments, read
// by ParseArguments over the defaults, long options included; then the route,
// number and target-line readers on the same texts. The settings must stay
// inside their ranges and every text NUL-terminated inside its array; a line
// that is taken prints its polls (every format, type and order) from values
// made of the input's bytes.
#include "fuzz/fuzz_check.h"
#include "regedit/command_line.h"
#include "regedit/record_format.h"
#include "regedit/value_decode.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

bool Terminated(const char *text, size_t size) {
    return memchr(text, '\0', size) != nullptr;
}

void CheckSettings(const RunSettings &s) {
    FUZZ_CHECK(Terminated(s.target, sizeof s.target));
    FUZZ_CHECK(Terminated(s.routeText, sizeof s.routeText));
    FUZZ_CHECK(Terminated(s.portSettings, sizeof s.portSettings));
    FUZZ_CHECK(s.count >= 1 && s.count <= READ_COUNT_MAX);
    FUZZ_CHECK(s.route[0] <= ROUTE_MAX_DROPS);
    const ScriptSettings &o = s.script;
    FUZZ_CHECK(Terminated(o.output, sizeof o.output));
    FUZZ_CHECK(o.format >= FORMAT_TEXT && o.format <= FORMAT_JSON);
    FUZZ_CHECK(o.type >= TYPE_U16 && o.type <= TYPE_F64);
    FUZZ_CHECK(o.order >= ORDER_ABCD && o.order <= ORDER_DCBA);
}

// A line that is taken: its long options agree, and its polls print whole lines.
void CheckTaken(const RunSettings &s, const uint8_t *data, size_t size) {
    const ScriptSettings &o = s.script;
    FUZZ_CHECK(o.polls > 0 || o.needsPolls == nullptr);
    FUZZ_CHECK(s.count % (unsigned)ValueTypeWords(o.type) == 0);
    uint16_t values[READ_COUNT_MAX] = {}, status[20] = {};
    for (size_t i = 0; i < size && i < 2 * READ_COUNT_MAX; i++)
        values[i / 2] = (uint16_t)(values[i / 2] << 8 | data[i]);
    PollRecord p = {(int64_t)size * 1234567,
                    (long)s.start,
                    (int)s.count,
                    values,
                    size % 2 == 0,
                    size % 3 == 0 ? 0 : 20,
                    status,
                    size % 5 != 0,
                    size % 2 ? nullptr : "a \"failure\", with\ttext"};
    for (const std::string &line : {CsvHeader(&s, p), CsvRow(&s, p), JsonLine(&s, p)}) {
        FUZZ_CHECK(!line.empty() && line.back() == '\n');
        FUZZ_CHECK(line.find('\n') == line.size() - 1);
    }
    std::string text = TextLines(&s, p);
    FUZZ_CHECK(text.empty() || text.back() == '\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Each argument in a block of its own, so that reading past one is caught.
    std::vector<std::string> args = {"VELDAK"};
    std::string current;
    for (size_t i = 0; i < size; i++) {
        if (data[i] == '\0') {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back((char)data[i]);
        }
    }
    args.push_back(current);
    if (args.size() > 64)
        return 0;
    std::vector<std::unique_ptr<char[]>> blocks;
    std::vector<const char *> argv;
    for (const std::string &a : args) {
        blocks.emplace_back(new char[a.size() + 1]);
        memcpy(blocks.back().get(), a.c_str(), a.size() + 1);
        argv.push_back(blocks.back().get());
    }
    argv.push_back(nullptr);

    RunSettings s;
    SettingsDefaults(&s);
    std::string out;
    int result = ParseArguments((int)args.size(), argv.data(), &s, &out);
    FUZZ_CHECK(result == PARSE_OK || result == PARSE_EXIT || result == PARSE_DONE);
    CheckSettings(s);
    if (result == PARSE_OK)
        CheckTaken(s, data, size);

    for (size_t i = 1; i < args.size(); i++) {
        uint16_t route[1 + ROUTE_MAX_DROPS];
        std::string routeOut;
        ParseRoute(argv[i], route, &routeOut);
        FUZZ_CHECK(route[0] <= ROUTE_MAX_DROPS);
        ParseSwitchNumber(argv[i], false);
        ParseSwitchNumber(argv[i], true);
        TakeTargetLine(argv[i], &s);
        CheckSettings(s);
    }
    return 0;
}
