#pragma once
#include "app/LogMail.h"

#include <atomic>
#include <string>

// Bounds of one send. A relay that takes the connection and then says nothing
// must not keep the user waiting for minutes.
struct SmtpTimeouts {
    long ConnectMs = 10000;      // up to the server's greeting
    long TotalMs = 60000;        // the whole exchange
    long LowSpeedBytes = 1;      // slower than this many bytes a second ...
    long LowSpeedSeconds = 30;   // ... for this long ends the send
};

struct SmtpResult {
    bool Ok = false;
    std::string Error; // what went wrong, as the SMTP library tells it; empty when Ok
};

// Sends one message through the account and waits for the outcome; for a
// worker thread. A fresh connection each time, closed before returning.
// Encryption is taken when the server offers STARTTLS and skipped when it does
// not; the login (AUTH LOGIN) is made when the server offers AUTH. The send
// gives up soon after abort becomes true.
SmtpResult SendSmtp(const LogMailAccount& account, const LogMailMessage& message, const SmtpTimeouts& timeouts,
                    const std::atomic<bool>* abort = nullptr);

// The smtp:// address of the account's server, or empty when the host name
// cannot be one (it must not smuggle a path, a user or another port in).
std::string SmtpUrl(const LogMailAccount& account);
