#include "sim/SimAnswerScript.h"

#include <sstream>

SimAnswerScript SimAnswerScript::FromText(const std::string& text, size_t* lines) {
    SimAnswerScript script;
    size_t read = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        DeviceCall call;
        if (!DeviceCallText::Parse(line, &call)) continue;
        script.answers_[call.Operation].Calls.push_back(std::move(call));
        ++read;
    }
    if (lines != nullptr) *lines = read;
    return script;
}

bool SimAnswerScript::Next(const std::string& operation, DeviceCall* answer) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = answers_.find(operation);
    if (found == answers_.end() || found->second.Calls.empty()) return false;
    Sequence& sequence = found->second;
    *answer = sequence.Calls[sequence.Next];
    if (sequence.Next + 1 < sequence.Calls.size()) ++sequence.Next;
    return true;
}

bool SimAnswerScript::Empty() const {
    std::lock_guard<std::mutex> hold(lock_);
    return answers_.empty();
}
