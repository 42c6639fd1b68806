// GoogleTest main for tests that need a Qt application object (the bus and the windows do). Every
// test has a deadline: a wrong change that leaves a modal loop waiting must fail the suite, not
// hold it up until CI's own limit.

#include <QApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr auto kDeadline = std::chrono::seconds(90);

class Deadline : public ::testing::EmptyTestEventListener {
public:
    Deadline() : m_watch([this] { watch(); }) {}
    ~Deadline() override {
        m_stop = true;
        m_watch.join();
    }

private:
    void OnTestStart(const ::testing::TestInfo& test) override {
        m_name = std::string(test.test_suite_name()) + "." + test.name();
        m_started = std::chrono::steady_clock::now().time_since_epoch().count();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { m_started = 0; }

    void watch() {
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const long long started = m_started;
            if (started != 0 &&
                std::chrono::steady_clock::now().time_since_epoch().count() - started >
                    std::chrono::steady_clock::duration(kDeadline).count()) {
                std::fprintf(stderr, "%s did not end within %lld s\n", m_name.c_str(),
                             static_cast<long long>(kDeadline.count()));
                std::_Exit(1);
            }
        }
    }

    std::atomic<long long> m_started{0};
    std::atomic<bool> m_stop{false};
    std::string m_name; // written before m_started is set, read only after
    std::thread m_watch;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Tests never need a screen, also when run by hand or listed by CTest.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new Deadline);
    return RUN_ALL_TESTS();
}
