#include "result.h"

#include <algorithm>
#include <cstdio>

void Result::fail(int code, const std::string& text, const std::string& why)
{
    exit_code = code;
    error = text;
    reason = why;
}

int worst_exit_code(const std::vector<Result>& results)
{
    int worst = exit_ok;
    for (const Result& result : results) {
        worst = std::max(worst, result.exit_code);
    }
    return worst;
}

std::string field_text(const Json& value)
{
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_boolean()) {
        return value.get<bool>() ? "yes" : "no";
    }
    return value.dump();
}

namespace {

void print_error(const Result& result)
{
    std::string line = "vyr: " + result.target + ": " + result.error;
    if (!result.reason.empty()) {
        line += " (" + result.reason + ")";
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

void print_fields(const Json& fields, const char* indent)
{
    size_t width = 0;
    for (const auto& item : fields.items()) {
        width = std::max(width, item.key().size());
    }
    for (const auto& item : fields.items()) {
        std::printf("%s%s:%*s %s\n", indent, item.key().c_str(),
                    static_cast<int>(width - item.key().size()), "", field_text(item.value()).c_str());
    }
}

Json result_document(const Result& result)
{
    Json entry = {{"target", result.target}, {"exit_code", result.exit_code}};
    if (result.error.empty()) {
        entry["error"] = nullptr;
    } else {
        entry["error"] = {{"text", result.error}, {"reason", result.reason}};
    }
    for (const auto& item : result.fields.items()) {
        entry[item.key()] = item.value();
    }
    return entry;
}

} // namespace

int print_results(const std::string& command, const std::vector<Result>& results, bool json)
{
    const int exit_code = worst_exit_code(results);
    if (json) {
        Json document = {{"command", command}, {"exit_code", exit_code}, {"results", Json::array()}};
        for (const Result& result : results) {
            document["results"].push_back(result_document(result));
        }
        std::printf("%s\n", document.dump(2).c_str());
    }
    const bool several = results.size() > 1;
    for (size_t i = 0; i < results.size(); ++i) {
        const Result& result = results[i];
        if (!result.error.empty()) {
            print_error(result);
        }
        if (json) {
            continue;
        }
        if (several) {
            std::printf("%s%s\n", i > 0 ? "\n" : "", result.target.c_str());
        }
        print_fields(result.fields, several ? "  " : "");
    }
    std::fflush(stdout);
    return exit_code;
}
