// The scan pumps the calling thread's window messages before every rule line, so
// a dispatched message may scan another message on the same thread before the
// interrupted scan goes on. Only the Win32 side pumps window messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "config_load_fixture.h"
#include "engine/added_lines.h"
#include "engine/fetch_table.h"
#include "engine/message_scan.h"

#if defined(_WIN32)

namespace cw {
namespace {

constexpr UINT SCAN_REQUEST = WM_APP + 1;
constexpr UINT RELEASE_REQUEST = WM_APP + 2;
constexpr const char* WINDOW_CLASS = "CobbleweaveNestedScanTest";

// One message as the host hands it over, with records of its own.
struct HostScan {
    HostScan(const std::string& folder, int32_t id, std::vector<const char*> headerLines,
             const std::string& body)
        : headers(std::move(headerLines)),
          bodyPath(folder + "body" + std::to_string(id) + ".eml"),
          fetchId(id) {
        writeFileBytes(bodyPath, body);
        status.account = &account;
        status.fetchInfo = &fetch;
        fetch.fetchType = POP3_RETR;
        fetchStart(fetchId);
    }

    void run(int32_t configHandle) {
        BodyFileForTest file(bodyPath, 0);
        filterOnMessageBody(headers.data(), static_cast<int32_t>(headers.size()), file.handle(),
                            fetchId, &status, configHandle);
        ran = true;
    }

    std::string addedLines() const {
        std::string buffer(4096, '\0');
        uint32_t size = getAddedHeaderLines(fetchId, buffer.data(), 4096);
        buffer.resize(size - 1);
        return buffer;
    }

    std::vector<const char*> headers;
    std::string bodyPath;
    int32_t fetchId;
    AccountInfo account{};
    FetchInfo fetch{};
    MessageStatus status{};
    bool ran = false;
};

struct ScanRequest {
    HostScan* scan;
    int32_t configHandle;
};

LRESULT CALLBACK scanOnRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == SCAN_REQUEST) {
        ScanRequest* request = reinterpret_cast<ScanRequest*>(lParam);
        request->scan->run(request->configHandle);
        return 0;
    }
    if (message == RELEASE_REQUEST) {
        ScanRequest* request = reinterpret_cast<ScanRequest*>(lParam);
        releaseConfig(request->configHandle);
        fetchEnd(request->scan->fetchId);
        // Overwrite what was freed, so that a scan still using it would notice.
        std::vector<std::string> filler(64, std::string(200, 'x'));
        return static_cast<LRESULT>(filler.size());
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class NestedScanTest : public ConfigLoadTest {
  protected:
    void SetUp() override {
        ConfigLoadTest::SetUp();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = scanOnRequest;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = WINDOW_CLASS;
        ASSERT_NE(0, RegisterClassA(&windowClass));
        window = CreateWindowExA(0, WINDOW_CLASS, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
        ASSERT_NE(nullptr, window);
    }

    void TearDown() override {
        DestroyWindow(window);
        UnregisterClassA(WINDOW_CLASS, GetModuleHandleA(nullptr));
    }

    HWND window = nullptr;
};

TEST_F(NestedScanTest, InterruptedScanGoesOnWithItsOwnMessage) {
    int32_t handle = load(
        "Body: \"outer-needle\" [outer body]\r\n"
        "Body: \"inner-needle\" [inner body]\r\n");
    ASSERT_NE(0, handle);
    HostScan outer(folder, 1, {"Subject: first\r\n"}, "the outer-needle\r\n");
    HostScan inner(folder, 2, {"Subject: second\r\n"}, "the inner-needle\r\n");
    ScanRequest request{&inner, handle};
    ASSERT_TRUE(PostMessageA(window, SCAN_REQUEST, 0, reinterpret_cast<LPARAM>(&request)));

    outer.run(handle);

    EXPECT_TRUE(inner.ran);
    EXPECT_EQ("X-Quelt: outer body\r\n", outer.addedLines());
    EXPECT_EQ("X-Quelt: inner body\r\n", inner.addedLines());
    EXPECT_EQ(1, outer.status.spam);
    EXPECT_EQ(1, inner.status.spam);
}

TEST_F(NestedScanTest, ReleasingTheConfigurationAndFetchMidScanLetsTheScanFinish) {
    int32_t handle = load(
        "Subject: 1 \"first\" [before the release]\r\n"
        "Body: 2 \"needle\" [after the release]\r\n");
    ASSERT_NE(0, handle);
    HostScan scan(folder, 1, {"Subject: first\r\n"}, "a needle\r\n");
    ScanRequest request{&scan, handle};
    ASSERT_TRUE(PostMessageA(window, RELEASE_REQUEST, 0, reinterpret_cast<LPARAM>(&request)));

    scan.run(handle);

    EXPECT_EQ(nullptr, findConfig(handle));
    EXPECT_EQ(-1, findFetch(scan.fetchId));
    EXPECT_EQ(1, scan.status.spam);
    Lines lines = logLines();
    EXPECT_NE(lines.end(),
              std::find(lines.begin(), lines.end(), "score (spam, marked): 3.0 > (threshold=0.0)"));
}

}  // namespace
}  // namespace cw

#endif
