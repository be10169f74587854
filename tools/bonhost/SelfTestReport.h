// The verdicts of `bonhost selftest`, in the order the checks ran, and the
// text a user reads (and attaches to a question): one line per check with
// its verdict, name, time and explanation, a hint under every failure, and
// a closing count. Plain text work, portable.
#pragma once

#include <string>
#include <vector>

enum class CheckVerdict { Pass, Fail, Skip };

struct CheckResult {
    std::string Name;    // short and fixed ("library", "settings", "tuner", ...)
    CheckVerdict Verdict = CheckVerdict::Skip;
    std::string Detail;  // one line: what was seen
    std::string Hint;    // on FAIL: what to do (may run over several lines)
    double Seconds = 0;  // how long the check took
};

// Fills in a check's verdict, explanation and (for a failure) hint.
inline void Judge(CheckResult* result, CheckVerdict verdict, const std::string& detail,
                  const std::string& hint = std::string()) {
    result->Verdict = verdict;
    result->Detail = detail;
    result->Hint = hint;
}

class SelfTestReport {
public:
    void Add(const CheckResult& result) { checks_.push_back(result); }
    const std::vector<CheckResult>& Checks() const { return checks_; }
    // The check of that name, or null when it has not run.
    const CheckResult* Find(const std::string& name) const;
    int Failed() const;

    // One check as printed: "PASS  open      0.31 s  ..." and its hint lines.
    static std::string Line(const CheckResult& result);
    // Every check's lines and the count "N passed, M failed, K skipped".
    std::string Text() const;

private:
    std::vector<CheckResult> checks_;
};
