#include "result.h"

#include "output.h"

#include <algorithm>

void Result::fail(int code, const std::string& text, const std::string& why)
{
    exit_code = code;
    error = text;
    reason = why;
}

void print_error(const Result& result)
{
    std::string line = result.target + ": " + result.error;
    if (!result.reason.empty()) {
        line += " (" + result.reason + ")";
    }
    print_error_line(line);
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

void print_fields(const Json& fields, const char* indent)
{
    size_t width = 0;
    for (const auto& item : fields.items()) {
        width = std::max(width, item.key().size());
    }
    std::string text;
    for (const auto& item : fields.items()) {
        text += indent + item.key() + ":" + std::string(width - item.key().size() + 1, ' ') +
                visible_text(field_text(item.value())) + "\n";
    }
    write_out(text);
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
        Json document = {
            {"command", command}, {"exit_code", exit_code}, {"results", Json::array()}};
        for (const Result& result : results) {
            document["results"].push_back(result_document(result));
        }
        write_out(json_text(document, 2) + "\n");
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
            write_out((i > 0 ? "\n" : "") + visible_text(result.target) + "\n");
        }
        print_fields(result.fields, several ? "  " : "");
    }
    return exit_code;
}
