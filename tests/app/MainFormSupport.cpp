#include "MainFormSupport.h"

#include "../sip/SipTestSupport.h"
#include "app/EventLog.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <memory>

namespace {
struct StandInClient : ::testing::Environment {
    void SetUp() override { standin = std::make_unique<siptest::StandIn>("start Ready\\n\n"); }
    std::unique_ptr<siptest::StandIn> standin;
};
[[maybe_unused]] auto* const g_standin = ::testing::AddGlobalTestEnvironment(new StandInClient);
} // namespace

namespace mainformtest {

std::vector<std::string> logTexts() {
    std::vector<std::string> out;
    const std::string text = testenv::readFile(DataFolder() + LogFileName);
    size_t start = 0, pos;
    while ((pos = text.find("\r\n", start)) != std::string::npos) {
        const std::string line = text.substr(start, pos - start);
        const auto tab = line.find('\t');
        out.push_back(line.substr(tab + 2, line.size() - tab - 3));
        start = pos + 2;
    }
    return out;
}

std::optional<std::string> logged(const std::string& prefix) {
    for (const auto& l : logTexts())
        if (l.rfind(prefix, 0) == 0) return l.substr(prefix.size());
    return std::nullopt;
}

} // namespace mainformtest
