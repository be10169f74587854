#include "tools/bonhost/SelfTestReport.h"

#include <cstdio>

namespace {

const char* VerdictText(CheckVerdict verdict) {
    switch (verdict) {
        case CheckVerdict::Pass: return "PASS";
        case CheckVerdict::Fail: return "FAIL";
        default: return "SKIP";
    }
}

}  // namespace

const CheckResult* SelfTestReport::Find(const std::string& name) const {
    for (const CheckResult& check : checks_)
        if (check.Name == name) return &check;
    return nullptr;
}

int SelfTestReport::Failed() const {
    int failed = 0;
    for (const CheckResult& check : checks_)
        if (check.Verdict == CheckVerdict::Fail) ++failed;
    return failed;
}

std::string SelfTestReport::Line(const CheckResult& result) {
    char head[64];
    std::snprintf(head, sizeof head, "%s  %-9s %6.2f s  ", VerdictText(result.Verdict),
                  result.Name.c_str(), result.Seconds);
    std::string line = head + result.Detail + "\n";
    if (result.Verdict != CheckVerdict::Fail || result.Hint.empty()) return line;
    std::string hint = result.Hint;
    for (size_t at = 0; (at = hint.find('\n', at)) != std::string::npos; at += 12)
        hint.replace(at, 1, "\n            ");
    return line + "      hint: " + hint + "\n";
}

std::string SelfTestReport::Text() const {
    std::string text;
    int passed = 0, skipped = 0;
    for (const CheckResult& check : checks_) {
        text += Line(check);
        if (check.Verdict == CheckVerdict::Pass) ++passed;
        if (check.Verdict == CheckVerdict::Skip) ++skipped;
    }
    return text + std::to_string(passed) + " passed, " + std::to_string(Failed()) + " failed, " +
           std::to_string(skipped) + " skipped\n";
}
