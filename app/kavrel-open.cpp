// kavrel-open: asks the running viewer of this user to open a model, through
// its "Kavrel" service on the local socket, and prints the answer.
//   kavrel-open [--timeout SECONDS] MODEL
// Exit status: 0 opened, 1 refused, not opened (the viewer's reason is
// printed) or still busy when the time ran out, 2 no viewer answered, 64
// wrong use.
#include "platform/messages.h"
#include "platform/wire/dde_wire.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace {

int usage() {
    std::fprintf(stderr, "usage: kavrel-open [--timeout SECONDS] MODEL\n"
                         "Asks the running Kavrel Viewer to open MODEL.\n");
    return 64;
}

int fail(int status, const std::string& text) {
    std::fprintf(stderr, "kavrel-open: %s\n", text.c_str());
    return status;
}

} // namespace

int main(int argc, char** argv) {
    double timeout_s = 10;
    std::string model;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage();
            return 0;
        }
        if (a == "--timeout" && i + 1 < argc) {
            char* end = nullptr;
            timeout_s = std::strtod(argv[++i], &end);
            if (!end || *end || !(timeout_s > 0) || timeout_s > 3600) return usage();
        } else if (model.empty() && !a.empty() && a[0] != '-') {
            model = a;
        } else {
            return usage();
        }
    }
    if (model.empty()) return usage();
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(model, ec).lexically_normal();
    if (ec || !std::filesystem::is_regular_file(path, ec))
        return fail(2, model + ": no such model file");
    // The viewer's command ends its file name at the first double quote or ")".
    if (path.string().find_first_of("\")") != std::string::npos)
        return fail(2, path.string() + ": a name holding '\"' or ')' cannot be sent to the viewer");
    if (path.string().size() > dde_wire::max_data - 64) return fail(2, "the name is too long");

    const int ms = static_cast<int>(timeout_s * 1000);
    using clock = std::chrono::steady_clock;
    const auto until = clock::now() + std::chrono::milliseconds(ms);
    auto left = [&] {
        const auto n =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - clock::now()).count();
        return static_cast<int>(n > 0 ? n : 0);
    };

    std::string why;
    const int fd = dde_bridge_connect("Kavrel", &why);
    if (fd < 0) return fail(2, "no running Kavrel Viewer answers (" + why + ")");
    std::string buffer;
    dde_wire::frame answer;
    if (!dde_bridge_send(fd, {WM_DDE_INITIATE, 0, 0, 0, "Kavrel", "System", {}}, &why) ||
        !dde_bridge_receive(fd, &buffer, &answer, left(), &why)) {
        close(fd);
        return fail(2, "the viewer did not answer (" + why + ")");
    }
    if (answer.message != WM_DDE_ACK || answer.word3 != WM_DDE_INITIATE) {
        close(fd);
        return fail(2, "the viewer does not serve \"Kavrel\"");
    }

    // A busy viewer (a dialog is up, a model is being opened or run) is asked again.
    const std::string command = "[FileOpen(\"" + path.string() + "\")]";
    int status = -1;
    for (;;) {
        if (!dde_bridge_send(fd, {WM_DDE_EXECUTE, 0, 0, 0, {}, {}, command}, &why)) break;
        bool got = false;
        while (!got && dde_bridge_receive(fd, &buffer, &answer, left(), &why))
            got = answer.message == WM_DDE_ACK && answer.word3 == WM_DDE_EXECUTE;
        if (!got) break;
        status = answer.word1;
        if ((status & 0xC000) != 0x4000 || left() < 250) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    // The acknowledgement only says that the viewer took the request: what
    // came of it is asked for as the item "FileOpen" ("1 <path>" opened,
    // "0 <reason>" not), again while the viewer is still opening.
    std::string outcome;
    bool outcome_busy = false;
    if (status >= 0 && (status & 0x8000)) {
        for (;;) {
            if (!dde_bridge_send(fd, {WM_DDE_REQUEST, 0, 1, 0, "FileOpen", {}, {}}, &why)) break;
            bool got = false, busy = false;
            while (!got && dde_bridge_receive(fd, &buffer, &answer, left(), &why)) {
                if (answer.message == WM_DDE_DATA) {
                    got = true;
                    outcome = answer.data.substr(0, answer.data.find('\0'));
                } else if (answer.message == WM_DDE_ACK && answer.word3 == WM_DDE_REQUEST) {
                    got = true;
                    busy = (answer.word1 & 0x4000) != 0;
                }
            }
            outcome_busy = busy;
            if (!got || !busy || left() < 250) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    }
    // The conversation ends either way; its answer is not waited for long.
    dde_bridge_send(fd, {WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}}, &why);
    std::string ignored;
    while (dde_bridge_receive(fd, &buffer, &answer, 1000, &ignored) &&
           answer.message != WM_DDE_TERMINATE) {
    }
    close(fd);

    if (status < 0) return fail(2, "no acknowledgement (" + why + ")");
    const bool ack = status & 0x8000, busy = status & 0x4000;
    if (ack && outcome.size() >= 2 && outcome[0] == '0')
        return fail(1, "the viewer could not open " + path.string() + ": " + outcome.substr(2));
    if (ack && outcome.size() >= 2 && outcome[0] == '1') {
        std::printf("opened: %s\n", outcome.substr(2).c_str());
        return 0;
    }
    if (ack && outcome_busy)
        return fail(1, "the viewer took the request but is still opening " + path.string() +
                           " (a question may wait on its screen)");
    std::printf("acknowledged: %s (status 0x%04X)\n",
                ack    ? "done"
                : busy ? "busy"
                       : "refused",
                static_cast<unsigned>(status));
    return ack ? 0 : 1;
}
