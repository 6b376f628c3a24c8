// Runs one fixed host session through the plug-in's exports and writes down
// everything the host gets back, so that the i686 DLL under Wine and the linux
// library can be compared byte for byte (compare_parity.sh). The session:
//   1. the shipped rules as filters.dat, with local_filters-debug.dat as
//      local_filters.dat: options, include lists, extra rules, DEBUG traces;
//   2. the example messages and a set of messages made here, one per header
//      encoding and body encoding, fetched three at a time with their calls
//      interleaved, as a host with several connections does;
//   3. a copy of the log so far as first-half.log, then a second load with
//      local_filters-quiet.dat (QUIET, the smallest MAXLOGSIZE), so that the
//      log is cut while the rest of the messages run;
//   4. processedMessage after every message, host verdicts included.
//
//   parity_host LIBRARY DATA_FOLDER EXAMPLES_FOLDER CONFIG_FOLDER TRANSCRIPT
// DATA_FOLDER holds the local rule files, EXAMPLES_FOLDER the shipped rules and
// example messages (examples/); CONFIG_FOLDER must exist and be empty.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "cobbleweave_scan/host_platform.h"
#include "cobbleweave_scan/message_source.h"
#include "common/host_records.h"
#include "plugin_loader/plugin_library.h"

namespace fs = std::filesystem;
using cw::scantool::Message;

namespace {

constexpr size_t FETCHES_AT_ONCE = 3;
constexpr int32_t FETCH_TYPES[] = {cw::POP3_RETR, cw::IMAP4_SERVER, cw::SMTP_RELAY, cw::POP3_RETR,
                                   cw::POP3_TOP};
constexpr int32_t BODY_BYTES_REQUEST = 50;
constexpr unsigned char POISON = 0x7f;

struct HeaderVariant {
    const char* name;
    const char* lines;
};

// Subjects and senders in every form the header decoder meets.
const HeaderVariant HEADERS[] = {
    {"ascii", "From: Ann Example <ann@example.org>\r\nSubject: Cheap viagra and lottery win\r\n"},
    {"q-word",
     "From: =?iso-8859-1?Q?Andr=E9_M=FCller?= <andre@example.net>\r\n"
     "Subject: =?iso-8859-1?Q?Gr=FC=DFe_vom_Gewinner_der_Lotterie?=\r\n"},
    {"b-word",
     "From: =?utf-8?B?w4lsb2RpZSBEdXBvbnQ=?= <elodie@example.fr>\r\n"
     "Subject: =?utf-8?B?Q2hlYXAgdmlhZ3JhIC0gb3JkZXIgbm93IQ==?=\r\n"},
    {"joined-words",
     "From: sales@pills.example\r\n"
     "Subject: =?utf-8?Q?Free?= =?utf-8?Q?_money?=\r\n =?utf-8?B?IGZvciB5b3U=?=\r\n"},
    {"broken-word",
     "From: <broken@example.com>\r\n"
     "Subject: =?utf-8?X?not_a_word?= =?utf-8?B?####?= =?iso-8859-1?Q?half\r\n"},
    {"raw-8bit", "From: J\xf6rg <joerg@example.de>\r\nSubject: Gr\xfc\xdf\x65 \xe0 tous\r\n"},
};

struct BodyVariant {
    const char* name;
    const char* headerLines;
    const char* body;
};

// Bodies in every encoding the body decoder knows, and a few it must survive.
const BodyVariant BODIES[] = {
    {"plain", "Content-Type: text/plain\r\n",
     "Hello,\r\nyou won the lottery. No prescription needed.\r\nBye\r\n"},
    {"base64", "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n",
     "WW91IHdvbiB0aGUgbG90dGVyeSEgQ2xpY2sgaGVyZSB0byB2ZXJpZnkg\r\neW91ciBhY2NvdW50Lg0KTm8g"
     "cHJlc2NyaXB0aW9uIG5lZWRlZC4NCg==\r\n"},
    {"quoted-printable",
     "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
     "quoted-printable\r\n",
     "Sch=F6ne Gr=FC=DFe, v=\r\niagra zum Sonderpreis =3D g=FCnstig=\r\n!\r\nunsubscribe=20\r\n"},
    {"multipart-alternative",
     "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"alt-7\"\r\n",
     "preamble\r\n--alt-7\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: "
     "quoted-printable\r\n\r\nClick=20here to claim your prize=\r\n now\r\n--alt-7\r\n"
     "Content-Type: text/html\r\nContent-Transfer-Encoding: base64\r\n\r\n"
     "PGh0bWw+PGI+Q2xpY2sgaGVyZTwvYj48L2h0bWw+\r\n--alt-7--\r\n"},
    {"multipart-mixed", "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=mix42\r\n",
     "--mix42\r\nContent-Type: text/plain\r\n\r\nSee the invoice attached.\r\n--mix42\r\n"
     "Content-Type: application/octet-stream; name=invoice.exe\r\n"
     "Content-Transfer-Encoding: base64\r\n\r\nTVqQAAMAAAAEAAAA//8AALgAAAAAAAAAQAAAAA==\r\n"
     "--mix42--\r\n"},
    {"lf-8bit", "Content-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n",
     "Line one with LF only\nGr\xfc\xdf\x65 \xa0 viagra\n\nlast line without end"},
};

struct Fetch {
    Message message;
    int32_t id = 0;
    cw::AccountInfo account{};
    cw::FetchInfo info{};
    cw::MessageStatus status{};
    cw::scantool::BodyFile body;
    int requireBodyFiltering = 0;
    uint32_t minBodyBytes = 0;
};

std::vector<Message> madeMessages() {
    std::vector<Message> messages;
    for (const HeaderVariant& header : HEADERS) {
        for (const BodyVariant& body : BODIES) {
            Message message;
            message.source = std::string("made-") + header.name + "+" + body.name;
            message.text = std::string(header.lines) + "To: bob@example.org\r\n" +
                           body.headerLines + "\r\n" + body.body;
            cw::scantool::splitHeader(message);
            messages.push_back(std::move(message));
        }
    }
    return messages;
}

std::vector<Message> exampleMessages(const std::string& folder, std::string& error) {
    std::vector<cw::scantool::InputFile> files;
    std::vector<std::string> errors;
    cw::scantool::expandInputs({folder}, files, errors);
    std::vector<Message> messages;
    for (const cw::scantool::InputFile& file : files) {
        if (!cw::scantool::readMessages(
                file, false, [&](Message& message) { messages.push_back(message); }, error)) {
            return {};
        }
    }
    if (!errors.empty()) {
        error = errors.front();
    }
    return messages;
}

std::string hexBytes(const void* data, size_t size) {
    std::string text;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t index = 0; index < size; ++index) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[index]);
        text += pair;
    }
    return text;
}

class Session {
  public:
    Session(PluginLibrary& plugin, std::string folder, FILE* transcript)
        : plugin_(plugin), folder_(std::move(folder)), transcript_(transcript) {}

    void load() {
        handle_ = plugin_.loadConfig(folder_.c_str());
        handles_.push_back(handle_);
        write("loadConfig = " + std::to_string(handle_) + "\n");
    }

    void releaseAll() {
        for (int32_t handle : handles_) {
            plugin_.releaseConfig(handle);
        }
    }

    // Scans the messages a few at a time: every call of one step for all of them
    // before the next step, in changing orders.
    bool scanGroup(std::vector<Message>& group, std::string& error) {
        std::vector<Fetch> fetches(group.size());
        for (size_t index = 0; index < group.size(); ++index) {
            Fetch& fetch = fetches[index];
            fetch.message = std::move(group[index]);
            if (!prepare(fetch, error)) {
                return false;
            }
            plugin_.fetchStart(fetch.id);
        }
        for (Fetch& fetch : fetches) {
            fetch.requireBodyFiltering =
                plugin_.requireBodyFiltering(nullptr, nullptr, nullptr, &fetch.status);
            fetch.minBodyBytes = plugin_.minBodyBytesRequired(BODY_BYTES_REQUEST, nullptr, nullptr,
                                                              nullptr, &fetch.status);
            std::vector<const char*> lines;
            for (const std::string& line : fetch.message.headerLines) {
                lines.push_back(line.c_str());
            }
            plugin_.filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()),
                                        fetch.body.handle, fetch.id, &fetch.status, handle_);
        }
        for (size_t index = fetches.size(); index-- > 0;) {
            report(fetches[index]);
        }
        for (Fetch& fetch : fetches) {
            // Now and then the host has its own opinion of a message.
            if (fetch.id % 5 == 0) {
                fetch.status.spam = 1;
            }
            if (fetch.id % 7 == 0) {
                fetch.status.whitelisted = 1;
            }
            plugin_.processedMessage(nullptr, nullptr, nullptr, nullptr, &fetch.status);
        }
        for (size_t index = 0; index < fetches.size(); ++index) {
            plugin_.fetchEnd(fetches[(index + 1) % fetches.size()].id);
        }
        return true;
    }

  private:
    bool prepare(Fetch& fetch, std::string& error) {
        fetch.id = ++lastId_;
        fetch.account.serverName = "pop.example.org";
        fetch.account.reserved1 = 0x11111111u;
        fetch.account.userName = (fetch.id % 2 == 0) ? "alice" : "bob";
        fetch.info.messageSize = static_cast<int32_t>(fetch.message.text.size());
        fetch.info.reserved1[0] = fetch.info.reserved1[1] = fetch.info.reserved1[2] = 0x22222222u;
        fetch.info.bodyByteCount =
            static_cast<uint32_t>(fetch.message.text.size() - fetch.message.bodyOffset);
        fetch.info.fetchType = FETCH_TYPES[fetch.id % std::size(FETCH_TYPES)];
        std::memset(&fetch.status, POISON, sizeof fetch.status);
        fetch.status.spam = 0;
        fetch.status.whitelisted = 0;
        fetch.status.verdictSet = 0;
        fetch.status.verdictCode = 0;
        fetch.status.tagText[0] = '\0';
        // Some messages come already judged by the host.
        if (fetch.id % 9 == 4) {
            fetch.status.spam = 1;
        }
        fetch.status.account = &fetch.account;
        fetch.status.fetchInfo = &fetch.info;
        std::string_view body =
            std::string_view(fetch.message.text).substr(fetch.message.bodyOffset);
        return cw::scantool::openBodyCopy(body, fetch.body, error);
    }

    void report(Fetch& fetch) {
        const cw::MessageStatus& status = fetch.status;
        // The file name only: the two targets see the folders under different paths.
        std::string text = "== " + fs::path(fetch.message.source).filename().string();
        if (fetch.message.mboxNumber > 0) {
            text += '#' + std::to_string(fetch.message.mboxNumber);
        }
        text += " fetch " + std::to_string(fetch.id) + " type " +
                std::to_string(fetch.info.fetchType) + "\n";
        text += "requireBodyFiltering " + std::to_string(fetch.requireBodyFiltering) +
                ", minBodyBytesRequired " + std::to_string(fetch.minBodyBytes) + "\n";
        text += "status spam " + std::to_string(status.spam) + ", whitelisted " +
                std::to_string(status.whitelisted) + ", verdictSet " +
                std::to_string(status.verdictSet) + ", verdictCode " +
                std::to_string(status.verdictCode) + ", reserved " +
                hexBytes(&status.reserved1, sizeof status.reserved1) + " " +
                hexBytes(status.reserved2, sizeof status.reserved2) + "\n";
        // The text, then every byte behind its terminator: the plug-in must not
        // write past what it needs.
        size_t tagLength = strnlen(status.tagText, sizeof status.tagText);
        text += "tagText \"" + std::string(status.tagText, tagLength) + "\" then " +
                hexBytes(status.tagText + tagLength, sizeof status.tagText - tagLength) + "\n";
        text += std::string("records ") +
                (status.account == &fetch.account && status.fetchInfo == &fetch.info ? "kept"
                                                                                     : "changed") +
                "\n";
        char probe[1] = {'\x7f'};
        uint32_t needed = plugin_.getAddedHeaderLines(fetch.id, nullptr, nullptr, probe, 0);
        std::vector<char> buffer(needed + 1, '\x7f');
        uint32_t again =
            plugin_.getAddedHeaderLines(fetch.id, nullptr, nullptr, buffer.data(), needed);
        text += "added " + std::to_string(needed) + " " + std::to_string(again) + "\n";
        text += std::string(buffer.data(), strnlen(buffer.data(), needed)) + "\n";
        write(text);
    }

    void write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), transcript_); }

    PluginLibrary& plugin_;
    std::string folder_;
    FILE* transcript_;
    int32_t handle_ = 0;
    int32_t lastId_ = 0;
    std::vector<int32_t> handles_;
};

bool copyFile(const fs::path& from, const fs::path& to, std::string& error) {
    // Removed first: MinGW's copy_file refuses to overwrite.
    std::error_code code;
    fs::remove(to, code);
    fs::copy_file(from, to, code);
    if (code) {
        error = "cannot copy " + from.string() + ": " + code.message();
    }
    return !code;
}

int fail(const std::string& error) {
    std::fprintf(stderr, "parity_host: %s\n", error.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: %s LIBRARY DATA_FOLDER EXAMPLES_FOLDER CONFIG_FOLDER "
                     "TRANSCRIPT\n",
                     argv[0]);
        return 2;
    }
    const fs::path data = argv[2];
    const fs::path examples = argv[3];
    const std::string folder = argv[4];
    std::string error;
    for (const fs::directory_entry& entry : fs::directory_iterator(examples / "config")) {
        std::string name = entry.path().filename().string();
        if (!copyFile(entry.path(),
                      fs::path(folder) / (name == "default_filters.dat" ? "filters.dat" : name),
                      error)) {
            return fail(error);
        }
    }
    std::vector<Message> messages = exampleMessages((examples / "messages").string(), error);
    if (messages.empty()) {
        return fail("no example messages: " + error);
    }
    for (Message& message : madeMessages()) {
        messages.push_back(std::move(message));
    }

    PluginLibrary plugin;
    if (!loadPluginLibrary(argv[1], plugin, error)) {
        return fail(error);
    }
    FILE* transcript = std::fopen(argv[5], "wb");
    if (transcript == nullptr) {
        return fail(std::string("cannot write ") + argv[5]);
    }
    Session session(plugin, folder, transcript);
    const size_t secondPhase = messages.size() / 2;
    if (!copyFile(data / "local_filters-debug.dat", fs::path(folder) / "local_filters.dat",
                  error)) {
        return fail(error);
    }
    session.load();
    for (size_t start = 0; start < messages.size(); start += FETCHES_AT_ONCE) {
        if (start >= secondPhase && start < secondPhase + FETCHES_AT_ONCE) {
            // The cuts to come drop the traces of the first half: keep them.
            if (!copyFile(fs::path(folder) / "cobbleweave.log", fs::path(folder) / "first-half.log",
                          error) ||
                !copyFile(data / "local_filters-quiet.dat", fs::path(folder) / "local_filters.dat",
                          error)) {
                return fail(error);
            }
            session.load();
        }
        size_t end = std::min(messages.size(), start + FETCHES_AT_ONCE);
        std::vector<Message> group(messages.begin() + static_cast<long>(start),
                                   messages.begin() + static_cast<long>(end));
        if (!session.scanGroup(group, error)) {
            return fail(error);
        }
    }
    session.releaseAll();
    std::fclose(transcript);
    unloadPluginLibrary(plugin);
    return 0;
}
