#pragma once
#include <QJsonObject>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// A real SMTP server on loopback (tests/app/smtp_server.py under Debian's
// python3-aiosmtpd): each accepted message is kept, taken apart, as JSON.
class SmtpTestServer {
public:
    struct Options {
        std::string mode = "ok"; // ok, deny-auth, reject-rcpt, reject-mail, noauth
        std::string user = "velnora-manager";
        std::string password = "quorbinex";
        std::string certFile, keyFile; // both set: STARTTLS is offered
    };
    static Options Mode(const std::string& mode) {
        Options o;
        o.mode = mode;
        return o;
    }
    explicit SmtpTestServer(const Options& options);
    SmtpTestServer() : SmtpTestServer(Options{}) {}
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    // False when the server did not come up (the reason went to stderr).
    bool running() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    // The messages accepted so far, in the order they came.
    std::vector<QJsonObject> messages() const;

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    uint16_t port_ = 0;
    std::string dir_;
};

// A settings file whose [LogMail] section points the account at this host and
// port and leaves the rest at the program's defaults.
std::string WriteLogMailIni(const std::string& host, uint16_t port);

// The decoded bytes of a part the server recorded.
std::string PartBytes(const QJsonObject& part);
