// Server lines per second through the engine, from a TCP socket on
// 127.0.0.1 that a writer thread fills with a realistic mix of lines
// (channel talk, joins and parts, names lists, MOTD, topics), a quarter
// of them in Cyrillic and the engine set to read Windows code page 1251.
//
// What is measured, each reading the same bytes from a loopback socket:
// - BM_EngineFunctions: what the engine does for each line, on the
//   benchmark's thread: recv in blocks, LineSplitter::Next and utf8_line
//   in the encoding of the settings (as readln does), irc::parse_own into a
//   message and irc::server_spec (as the network thread does), everything
//   but posting the message. The targets are about this: reading,
//   conversion and parsing.
// - BM_EngineThread: the engine end to end, as the program runs it. The
//   benchmark plays the server: the engine resolves, connects and
//   registers, then its own network thread reads the lines, converts and
//   parses them and posts each to its owner looper, which counts them. A
//   round ends when the owner has counted every line. The difference from
//   the above is the handoff of each line to another thread (bench_core
//   measures that handoff against a bare mutex and condition variable
//   queue).
// - BM_BlockReaderBaseline: recv in blocks of the engine's size and split
//   at LF, nothing else; the least any reader can do.
// - BM_ByteReader: one recv per byte, splitting lines: the simplest
//   reader. It reads a tenth as many lines to keep a round short; the rate
//   is per line all the same.
//
// Targets: the engine's reading, conversion and parsing within 3x of the
// block baseline, and at least 20x faster than one receive per byte. Exit
// status 1 when missed. The baseline varies from run to run more than the
// engine does (it is mostly the kernel's loopback); repetitions
// (--benchmark_repetitions=5) are averaged.

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <AppPrefs.h>
#include <IrcCodes.h>
#include <LineIO.h>
#include <Looper.h>
#include <Message.h>
#include <Prefs.h>
#include <SettingsAlert.h>
#include <UTF8.h>
#include <irc.h>

#include "BenchReport.h"

namespace
{

using benchmark::Counter;

const int kLines = 200000;
const int kByteReaderLines = kLines / 10;
const int16 kEncoding = B_MS_WINDOWS_1251_CONVERSION;
const char kNick[] = "be_user";
const auto kWaitLimit = std::chrono::seconds(120);
const int kSetupTimeoutMs = 10000;
// The engine's receive block.
const size_t kBlock = 4096;

// -- the lines -----------------------------------------------------------------

// UTF-8 text in the code page the engine is set to read.
std::string to_cp1251(const std::string& text)
{
    std::string out(text.size(), '\0');
    int32 sourceLength = int32(text.size());
    int32 outLength = int32(out.size());
    convert_from_utf8(uint32(kEncoding), text.data(), &sourceLength, out.data(), &outLength,
                      nullptr);
    out.resize(size_t(outLength));
    return out;
}

// One server line, as servers send it (CR LF); `i` varies who and what.
std::string server_line(int i)
{
    static const std::string sRussian[] = {
        to_cp1251("Привет всем, кто-нибудь собирал клиент из исходников?"),
        to_cp1251("да, вчера, всё работает, только шрифты мелкие"),
        to_cp1251("Тема: выпуск 0.9 на следующей неделе, тесты приветствуются"),
    };
    std::string who = "nick" + std::to_string(i % 97);
    std::string source =
        ":" + who + "!~" + who + "@host-" + std::to_string(i % 13) + ".example.net";
    std::string channel = i % 3 == 0 ? "#pelmor" : "#linux";
    switch (i % 16) {
    case 0:
    case 4:
    case 9:
        return source + " PRIVMSG " + channel + " :" + sRussian[i % 2] + "\r\n";
    case 1:
    case 6:
    case 11:
        return source + " PRIVMSG " + channel + " :has anyone tried the new build on wayland? " +
               "the window sizes look right here but the fonts are off by a pixel\r\n";
    case 13:
        return source + " PRIVMSG " + channel + " :ok\r\n";
    case 2:
    case 10:
        return source + " JOIN :" + channel + "\r\n";
    case 3:
        return source + " PART " + channel + " :Leaving\r\n";
    case 5:
        return source + " QUIT :Ping timeout: 260 seconds\r\n";
    case 7:
        return source + " NOTICE " + kNick + " :you are now identified for this nick\r\n";
    case 8: {
        std::string names = ":irc.example.net 353 " + std::string(kNick) + " = " + channel + " :";
        for (int n = 0; n < 24; n++)
            names += (n % 7 == 0 ? "@" : "") + std::string("user") + std::to_string(i + n) + " ";
        return names + "\r\n";
    }
    case 12:
        return ":irc.example.net 372 " + std::string(kNick) +
               " :- Welcome to the example network. Be nice, no flooding.\r\n";
    case 14:
        return ":irc.example.net 332 " + std::string(kNick) + " " + channel + " :" + sRussian[2] +
               "\r\n";
    default:
        return source + " MODE " + channel + " +o " + who + "\r\n";
    }
}

std::string server_lines(int count)
{
    std::string bytes;
    for (int i = 0; i < count; i++)
        bytes += server_line(i);
    return bytes;
}

const std::string& stream()
{
    static const std::string sBytes = server_lines(kLines);
    return sBytes;
}

// -- sockets on 127.0.0.1 --------------------------------------------------------

class Listener
{
public:
    Listener()
    {
        fFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in address {
        };
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (fFd < 0 || bind(fFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(fFd, 4) != 0 ||
            getsockname(fFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        fPort = ntohs(address.sin_port);
    }
    ~Listener()
    {
        if (fFd >= 0)
            close(fFd);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    uint16_t Port() const { return fPort; }

    // The next connection, or -1 when none comes in time.
    int Accept() const
    {
        struct pollfd fd = {fFd, POLLIN, 0};
        if (fPort == 0 || poll(&fd, 1, kSetupTimeoutMs) <= 0)
            return -1;
        return accept4(fFd, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int fFd = -1;
    uint16_t fPort = 0;
};

// Both ends of one connection; either is -1 if it could not be made.
struct Connection {
    int server = -1;
    int client = -1;

    Connection()
    {
        Listener listener;
        client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in address {
        };
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(listener.Port());
        if (client >= 0 &&
            connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
            server = listener.Accept();
    }
    ~Connection()
    {
        if (server >= 0)
            close(server);
        if (client >= 0)
            close(client);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Ok() const { return server >= 0 && client >= 0; }
};

bool send_all(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= size_t(sent);
    }
    return true;
}

// Sends `bytes` from its own thread, as a server would while the reader
// reads; Finish() says whether all went out.
class Writer
{
public:
    Writer(int fd, const char* data, size_t size)
        : fThread([this, fd, data, size] { fOk = send_all(fd, data, size); })
    {
    }
    ~Writer() { Finish(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool Finish()
    {
        if (fThread.joinable())
            fThread.join();
        return fOk;
    }

private:
    bool fOk = false;
    std::thread fThread;
};

// One line the client sent, without its LF; "" when none comes in time.
std::string read_line(int fd)
{
    std::string line;
    for (;;) {
        struct pollfd wait = {fd, POLLIN, 0};
        char byte;
        if (poll(&wait, 1, kSetupTimeoutMs) <= 0 || recv(fd, &byte, 1, 0) != 1)
            return "";
        if (byte == '\n')
            return line;
        line.push_back(byte);
    }
}

// -- the engine end to end ---------------------------------------------------------

// The engine's owner, as a server window would be: counts the server lines
// posted to it and wakes the benchmark when a round is complete.
class LineCounter : public BLooper
{
public:
    LineCounter() : BLooper("owner") {}

    void Expect(int64 count)
    {
        std::lock_guard<std::mutex> lock(fLock);
        fExpected = count;
        fCount = 0;
        fFirstParams.clear();
    }

    void MessageReceived(BMessage* message) override
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (message->what == MSG_CON) {
            fEnded = true;
            fChanged.notify_all();
        } else if (message->what == MSG_IRC) {
            // Server lines carry their command; the engine's own nickname
            // request when it connects does not.
            const char* params = nullptr;
            if (!message->HasString("command") || message->FindString("params", &params) != B_OK)
                return;
            if (fCount == 0)
                fFirstParams = params;
            if (++fCount == fExpected)
                fChanged.notify_all();
        }
    }

    // False when the connection ended or the lines did not all come in time.
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(fLock);
        return fChanged.wait_for(lock, kWaitLimit, [this] {
            return fCount >= fExpected || fEnded;
        }) && fCount == fExpected;
    }
    bool WaitEnded()
    {
        std::unique_lock<std::mutex> lock(fLock);
        return fChanged.wait_for(lock, std::chrono::milliseconds(kSetupTimeoutMs),
                                 [this] { return fEnded; });
    }
    std::string FirstParams()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fFirstParams;
    }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    int64 fExpected = 0;
    int64 fCount = 0;
    bool fEnded = false;
    std::string fFirstParams;
};

// A Cyrillic line and what the engine must make of it: converted to UTF-8,
// the line end kept as LF.
const char kProbeUtf8[] = "Проверка кодировки: ёжик";
std::string probe_line()
{
    return ":probe!~p@example.net PRIVMSG #pelmor :" + to_cp1251(kProbeUtf8) + "\r\n";
}
std::string probe_params()
{
    return std::string("#pelmor :") + kProbeUtf8 + "\n";
}

// An engine connected to `listener` with its nickname set and one line
// read; `error` says what failed if it got less far. `server` is the
// benchmark's end of the connection (-1 if none).
irc* connect_engine(LineCounter* owner, const Listener& listener, int* server, const char** error)
{
    irc* engine = new irc(owner);
    owner->Lock();
    owner->AddHandler(engine);
    owner->Unlock();
    engine->setup("127.0.0.1", "bench", std::to_string(listener.Port()).c_str());
    engine->start();
    *server = listener.Accept();
    if (*server < 0) {
        *error = "the engine did not connect";
        return engine;
    }
    std::string first = read_line(*server);
    if (first.compare(0, 4, "CAP ") == 0)
        first = read_line(*server);
    if (first.compare(0, 5, "USER ") != 0) {
        *error = "the engine did not register";
        return engine;
    }
    BMessage nick(MSG_IRC);
    nick.AddString("cmd", (std::string("/NICK ") + kNick).c_str());
    owner->PostMessage(&nick, engine);
    if (read_line(*server) != std::string("NICK ") + kNick) {
        *error = "the engine did not send its nickname";
        return engine;
    }
    // One line through first: the connection is up and reads the code page.
    owner->Expect(1);
    std::string probe = probe_line();
    if (!send_all(*server, probe.data(), probe.size()) || !owner->Wait()) {
        *error = "the first line did not arrive";
        return engine;
    }
    if (owner->FirstParams() != probe_params())
        *error = "the first line was not converted from code page 1251";
    return engine;
}

void BM_EngineThread(benchmark::State& state)
{
    const std::string& bytes = stream();
    Listener listener;
    auto* owner = new LineCounter;
    owner->Run();
    int server = -1;
    const char* error = nullptr;
    irc* engine = connect_engine(owner, listener, &server, &error);
    if (error != nullptr)
        state.SkipWithError(error);
    if (error == nullptr) {
        for (auto _ : state) {
            owner->Expect(kLines);
            Writer writer(server, bytes.data(), bytes.size());
            bool complete = owner->Wait();
            if (!complete)
                shutdown(server, SHUT_RDWR); // frees a writer stuck on a full socket
            if (!writer.Finish() || !complete) {
                state.SkipWithError("lines lost or late");
                break;
            }
        }
    }
    state.counters["lines/s"] = Counter(double(state.iterations()) * kLines, Counter::kIsRate);
    state.counters["MB/s"] =
        Counter(double(state.iterations()) * double(bytes.size()) / 1e6, Counter::kIsRate);

    // The server closes; the engine's thread sees it and ends, so deleting
    // the engine does not wait for an answer to QUIT.
    if (server >= 0)
        close(server);
    owner->WaitEnded();
    owner->Lock();
    owner->RemoveHandler(engine);
    delete engine;
    owner->Quit();
}
BENCHMARK(BM_EngineThread)->UseRealTime()->Unit(benchmark::kMillisecond);

// -- the engine's functions on the benchmark's thread ------------------------------

// Takes what the engine posts outside the measured path (its status lines
// when it goes) and drops it.
class Sink : public BLooper
{
public:
    Sink() : BLooper("sink") {}
};

void BM_EngineFunctions(benchmark::State& state)
{
    const std::string& bytes = stream();
    Connection connection;
    if (!connection.Ok()) {
        state.SkipWithError("no connection on 127.0.0.1");
        return;
    }
    auto* sink = new Sink;
    sink->Run();
    {
        irc engine(sink);
        char out[IRC_OUT_SIZE];
        engine.prepare_cmd((std::string("/NICK ") + kNick).c_str(), out);

        LineSplitter splitter;
        char block[kBlock];
        char line[IRC_LINE_SIZE];
        int64 parsed = 0;
        for (auto _ : state) {
            Writer writer(connection.server, bytes.data(), bytes.size());
            int lines = 0;
            while (lines < kLines) {
                ssize_t got = recv(connection.client, block, sizeof(block), 0);
                if (got <= 0)
                    break;
                char* at = block;
                char* end = block + got;
                while (at < end) {
                    if (!splitter.Next(&at, end))
                        break;
                    size_t length;
                    char* text =
                        utf8_line(splitter, app_encoding(B_MS_WINDOWS_CONVERSION), line, &length);
                    BMessage message(MSG_IRC);
                    parsed += engine.parse_own(text, length, &message, text == splitter.PlainLine())
                                  ? 1
                                  : 0;
                    engine.server_spec(text);
                    splitter.Reset();
                    lines++;
                }
            }
            if (lines != kLines)
                shutdown(connection.client, SHUT_RDWR);
            if (!writer.Finish() || lines != kLines) {
                state.SkipWithError("lines lost");
                break;
            }
        }
        if (!state.error_occurred() && parsed != int64(state.iterations()) * kLines)
            state.SkipWithError("lines the parser did not take");
    }
    sink->Lock();
    sink->Quit();
    state.counters["lines/s"] = Counter(double(state.iterations()) * kLines, Counter::kIsRate);
}
BENCHMARK(BM_EngineFunctions)->UseRealTime()->Unit(benchmark::kMillisecond);

// -- plain readers -------------------------------------------------------------------

// Reads blocks as big as the engine's and splits them at LF into a line
// buffer; returns the lines read, stopping after `count`.
int read_lines_in_blocks(int fd, int count)
{
    char block[kBlock];
    char line[IRC_LINE_SIZE];
    size_t length = 0;
    int lines = 0;
    while (lines < count) {
        ssize_t got = recv(fd, block, sizeof(block), 0);
        if (got <= 0)
            break;
        const char* at = block;
        const char* end = block + got;
        while (at < end) {
            const char* lf = static_cast<const char*>(memchr(at, '\n', size_t(end - at)));
            const char* stop = lf != nullptr ? lf + 1 : end;
            size_t take = std::min(size_t(stop - at), sizeof(line) - 1 - length);
            memcpy(line + length, at, take);
            length += take;
            at = stop;
            if (lf != nullptr) {
                line[length] = '\0';
                benchmark::DoNotOptimize(line);
                length = 0;
                lines++;
            }
        }
    }
    return lines;
}

// One receive per byte, splitting at LF.
int read_lines_by_byte(int fd, int count)
{
    char line[IRC_LINE_SIZE];
    size_t length = 0;
    int lines = 0;
    while (lines < count) {
        char byte;
        if (recv(fd, &byte, 1, 0) != 1)
            break;
        if (length < sizeof(line) - 1)
            line[length++] = byte;
        if (byte == '\n') {
            line[length] = '\0';
            benchmark::DoNotOptimize(line);
            length = 0;
            lines++;
        }
    }
    return lines;
}

void run_reader(benchmark::State& state, int count, int (*reader)(int fd, int count))
{
    const std::string bytes = count == kLines ? stream() : server_lines(count);
    Connection connection;
    if (!connection.Ok()) {
        state.SkipWithError("no connection on 127.0.0.1");
        return;
    }
    for (auto _ : state) {
        Writer writer(connection.server, bytes.data(), bytes.size());
        int lines = reader(connection.client, count);
        if (lines != count)
            shutdown(connection.client, SHUT_RDWR);
        if (!writer.Finish() || lines != count) {
            state.SkipWithError("lines lost");
            break;
        }
    }
    state.counters["lines/s"] = Counter(double(state.iterations()) * count, Counter::kIsRate);
}

void BM_BlockReaderBaseline(benchmark::State& state)
{
    run_reader(state, kLines, read_lines_in_blocks);
}
BENCHMARK(BM_BlockReaderBaseline)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ByteReader(benchmark::State& state)
{
    run_reader(state, kByteReaderLines, read_lines_by_byte);
}
BENCHMARK(BM_ByteReader)->UseRealTime()->Unit(benchmark::kMillisecond);

bool summarize(const bench::KeepingReporter& reporter)
{
    double engine = reporter.Counter("BM_EngineThread", "lines/s");
    double functions = reporter.Counter("BM_EngineFunctions", "lines/s");
    double blocks = reporter.Counter("BM_BlockReaderBaseline", "lines/s");
    double bytes = reporter.Counter("BM_ByteReader", "lines/s");

    printf("  server lines from 127.0.0.1, %d per round, %.1f MB, code page 1251:\n", kLines,
           double(stream().size()) / 1e6);
    bench::report_rate("engine: read, convert, parse", functions, "lines/s", blocks,
                       "the block reader");
    bench::report_rate("engine thread to owner looper", engine, "lines/s", blocks,
                       "the block reader");
    bench::report_rate("recv in blocks, split (baseline)", blocks, "lines/s");
    bench::report_rate("recv per byte, split", bytes, "lines/s", blocks, "the block reader");
    if (functions > 0 && bytes > 0)
        printf("  engine read+convert+parse / recv per byte: %.1fx\n", functions / bytes);
    if (engine > 0 && bytes > 0)
        printf("  engine thread to owner / recv per byte: %.1fx\n", engine / bytes);

    bool ok = bench::report_target("engine reading, conversion, parsing within 3x of the baseline",
                                   functions > 0 && blocks > 0, functions * 3 >= blocks);
    ok &= bench::report_target("engine reading, conversion, parsing at least 20x recv per byte",
                               functions > 0 && bytes > 0, functions >= 20 * bytes);
    return ok;
}

void quiet(const char*) {}

} // namespace

int main(int argc, char** argv)
{
    // The engine reads its code page from the main settings; a store
    // without a file is enough, and has nowhere to write them back.
    set_settings_alert_handler(quiet);
    int status;
    {
        Prefs prefs(nullptr, nullptr);
        prefs.Lock();
        prefs.GetMsg()->AddInt16("encoding", kEncoding);
        prefs.Unlock();
        set_app_prefs(&prefs);
        status = bench::run_benchmarks(argc, argv, summarize);
        set_app_prefs(nullptr);
    }
    return status;
}
