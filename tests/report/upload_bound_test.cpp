// The log upload's bounds against receivers on a loopback port the system
// picks: one that takes the log slowly but steadily, one that never reads.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "report/install_reporter.h"
#include "tests/support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* kUuid = "0123456789ABCDEF0123456789ABCDEF";

// One connection at a time. kTrickle reads `chunk` bytes every `tickMs`
// (a small receive buffer keeps the sender paced by it) and answers 200
// once the request body is in; kSilent accepts and never reads or answers.
class PacedReceiver {
public:
    enum class Mode { kTrickle, kSilent };

    PacedReceiver(Mode mode, size_t chunk, int tickMs)
        : m_mode(mode), m_chunk(chunk), m_tickMs(tickMs) {
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        setsockopt(m_listen, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            listen(m_listen, 4) == 0) {
            socklen_t len = sizeof addr;
            getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
            m_port = ntohs(addr.sin_port);
            m_thread = std::thread([this] { Serve(); });
        }
    }
    ~PacedReceiver() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        close(m_listen);
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/log"; }
    bool Listening() const { return m_port != 0; }
    size_t BodyBytes() const { return m_bodyBytes.load(); }

private:
    void Serve() {
        pollfd p{m_listen, POLLIN, 0};
        while (!m_stop && poll(&p, 1, 50) <= 0) {
        }
        if (m_stop)
            return;
        const int fd = accept(m_listen, nullptr, nullptr);
        if (m_mode == Mode::kSilent) {
            pollfd c{fd, POLLRDHUP, 0};
            while (!m_stop && poll(&c, 1, 50) <= 0) {
            }
        } else {
            Trickle(fd);
        }
        close(fd);
    }

    void Trickle(int fd) {
        std::string head;
        size_t length = 0;
        bool headDone = false;
        std::string buffer(m_chunk, '\0');
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_tickMs));
            const ssize_t n = recv(fd, &buffer[0], buffer.size(), MSG_DONTWAIT);
            if (n == 0)
                return;
            if (n < 0)
                continue;
            if (!headDone) {
                head.append(buffer.data(), static_cast<size_t>(n));
                const size_t end = head.find("\r\n\r\n");
                if (end == std::string::npos)
                    continue;
                headDone = true;
                const size_t at = head.find("Content-Length: ");
                length = at == std::string::npos ? 0 : std::stoul(head.substr(at + 16));
                if (head.find("100-continue") != std::string::npos)
                    Send(fd, "HTTP/1.1 100 Continue\r\n\r\n");
                m_bodyBytes = head.size() - end - 4;
            } else {
                m_bodyBytes += static_cast<size_t>(n);
            }
            if (m_bodyBytes.load() >= length) {
                Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
                return;
            }
        }
    }

    static void Send(int fd, const std::string& text) {
        (void)!send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    }

    const Mode m_mode;
    const size_t m_chunk;
    const int m_tickMs;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_bodyBytes{0};
    std::thread m_thread;
};

// A reporter whose upload bounds are the given seconds (the product: 15 and 300).
struct UploadRig {
    korvel_test::TempDir tmp;
    std::string logPath = tmp.Sub("install.log");
    std::unique_ptr<InstallReporter> reporter;

    UploadRig(size_t logBytes, long lowSpeedSec, long ceilingSec) {
        korvel_test::WriteFile(logPath, std::string(logBytes, 'L'));
        ReporterTuning tuning;
        tuning.nUploadLowSpeedSec = lowSpeedSec;
        tuning.nUploadCeilingSec = ceilingSec;
        reporter = std::make_unique<InstallReporter>("http://127.0.0.1:1/r", kUuid, "Korvel 12", "",
                                                     "", "", false, true, logPath,
                                                     "http://127.0.0.1:1/l", tuning);
    }

    // Uploads to `url`; the seconds it took go to `seconds`.
    bool Upload(const std::string& url, double& seconds) {
        const Clock::time_point start = Clock::now();
        const bool ok = reporter->UploadLog(url, kUuid, logPath, "Korvel 12", "downLoad_fail");
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return ok;
    }
};

constexpr size_t kLargeLog = 1 << 20;  // far beyond what socket buffers hold

// A read every 50 ms through a small receive buffer: roughly 100 KiB/s, so the
// log takes several seconds, each second well above the 1 KiB/s floor.
constexpr size_t kChunk = 16384;
constexpr int kTickMs = 50;
constexpr long kWindowSec = 3;

}  // namespace

// Longer than the low-speed window several times over, yet it arrives whole.
TEST(UploadBound, SlowButMovingReceiverGetsTheWholeLog) {
    PacedReceiver receiver(PacedReceiver::Mode::kTrickle, kChunk, kTickMs);
    ASSERT_TRUE(receiver.Listening());
    UploadRig rig(kLargeLog, kWindowSec, 120);
    double seconds = 0;
    EXPECT_TRUE(rig.Upload(receiver.Url(), seconds)) << "after " << seconds << " s";
    EXPECT_GT(receiver.BodyBytes(), kLargeLog);  // the file part and the two text parts
    EXPECT_GT(seconds, kWindowSec) << "the receiver did not pace the upload";
}

// Moving but slower than the ceiling allows: ended at the ceiling.
TEST(UploadBound, CeilingEndsEvenAMovingUpload) {
    PacedReceiver receiver(PacedReceiver::Mode::kTrickle, kChunk, kTickMs);
    ASSERT_TRUE(receiver.Listening());
    UploadRig rig(kLargeLog, kWindowSec, 2);
    double seconds = 0;
    EXPECT_FALSE(rig.Upload(receiver.Url(), seconds));
    EXPECT_GE(seconds, 1.9);
    EXPECT_LT(seconds, 30.0);
    EXPECT_LT(receiver.BodyBytes(), kLargeLog);
}

// Nothing moves: ended by the low-speed window, long before the ceiling.
TEST(UploadBound, SilentReceiverEndsWithinTheLowSpeedWindow) {
    PacedReceiver receiver(PacedReceiver::Mode::kSilent, 0, 0);
    ASSERT_TRUE(receiver.Listening());
    UploadRig rig(kLargeLog, 2, 120);
    double seconds = 0;
    EXPECT_FALSE(rig.Upload(receiver.Url(), seconds));
    EXPECT_GE(seconds, 1.9);
    EXPECT_LT(seconds, 60.0) << "the low-speed window did not end the upload";
}
