#include "SmtpTestServer.h"

#include "support/TestEnv.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

SmtpTestServer::SmtpTestServer(const Options& o) : dir_(testenv::makeTempDir("smtp")) {
    const std::string script = std::string(VN_SOURCE_DIR) + "/tests/app/smtp_server.py";
    std::vector<std::string> args = {"/usr/bin/python3", script,       dir_,       "--mode", o.mode,
                                     "--user",           o.user,       "--password", o.password};
    if (!o.certFile.empty()) args.insert(args.end(), {"--tls", o.certFile, o.keyFile});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    if (::posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];

    // The server says its port once it accepts connections.
    std::string line;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (pid_ < 0 || ::poll(&p, 1, 30000) <= 0) break;
        char c;
        if (::read(out[0], &c, 1) != 1) break;
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line.rfind("PORT ", 0) == 0) port_ = static_cast<uint16_t>(std::stoi(line.substr(5)));
        break;
    }
    ::close(out[0]);
    if (!port_) std::fprintf(stderr, "the SMTP test server did not come up (last output: %s)\n", line.c_str());
}

SmtpTestServer::~SmtpTestServer() {
    if (stdin_ >= 0) ::close(stdin_); // the server ends when its input closes
    if (pid_ <= 0) return;
    for (int i = 0; i < 500; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        ::usleep(10000);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

std::vector<QJsonObject> SmtpTestServer::messages() const {
    std::vector<QJsonObject> all;
    for (int n = 1;; ++n) {
        const std::string path = dir_ + "/msg-" + std::to_string(n) + ".json";
        if (!std::filesystem::exists(path)) break;
        all.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(testenv::readFile(path))).object());
    }
    return all;
}

std::string WriteLogMailIni(const std::string& host, uint16_t port) {
    const std::string path = testenv::makeTempDir("ini") + "/VELNORA_Manager.ini";
    testenv::writeFile(path, "[global]\r\nSIPmode=0\r\n\r\n[LogMail]\r\nHost=" + host +
                                 "\r\nPort=" + std::to_string(port) + "\r\n");
    return path;
}

std::string PartBytes(const QJsonObject& part) {
    return QByteArray::fromBase64(part["data_b64"].toString().toLatin1()).toStdString();
}
