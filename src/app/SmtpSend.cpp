#include "app/SmtpSend.h"

#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MimeDeleter {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Mime = std::unique_ptr<curl_mime, MimeDeleter>;
using List = std::unique_ptr<curl_slist, ListDeleter>;

bool append(List& list, const std::string& item) {
    curl_slist* l = curl_slist_append(list.get(), item.c_str());
    if (!l) return false;
    (void)list.release();
    list.reset(l);
    return true;
}

// Called by the library at least once a second, waiting or not.
int onProgress(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* flag = static_cast<const std::atomic<bool>*>(abort);
    return flag && flag->load() ? 1 : 0;
}

bool isHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

bool isIpv6Char(char c) {
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' || c == '.';
}

} // namespace

std::string SmtpUrl(const LogMailAccount& account) {
    std::string host = account.Host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || account.Port < 1 || account.Port > 65535) return {};
    bool plain = true, ipv6 = host.find(':') != std::string::npos;
    for (char c : host) {
        plain = plain && isHostChar(c);
        ipv6 = ipv6 && isIpv6Char(c);
    }
    if (ipv6) return "smtp://[" + host + "]:" + std::to_string(account.Port);
    if (plain) return "smtp://" + host + ":" + std::to_string(account.Port);
    return {};
}

SmtpResult SendSmtp(const LogMailAccount& account, const LogMailMessage& message, const SmtpTimeouts& timeouts,
                    const std::atomic<bool>* abort) {
    SmtpResult result;
    const std::string url = SmtpUrl(account);
    if (url.empty()) {
        result.Error = "bad mail server name \"" + account.Host + "\"";
        return result;
    }
    initCurlOnce();
    Easy easy(curl_easy_init());
    if (!easy) {
        result.Error = "out of memory";
        return result;
    }
    CURL* c = easy.get();
    char errorText[CURL_ERROR_SIZE] = "";

    List rcpt, headers;
    bool ok = append(rcpt, "<" + message.RcptTo + ">");
    for (const auto& h : message.Headers)
        ok = ok && append(headers, h);

    // A fresh message each time: nothing of an earlier send can ride along.
    // Both parts hold copies of their bytes, so the log file is read once,
    // by the caller, and never again while the message goes out.
    Mime mime(curl_mime_init(c));
    ok = ok && mime;
    if (ok) {
        curl_mimepart* text = curl_mime_addpart(mime.get());
        ok = text && curl_mime_data(text, message.Text.data(), message.Text.size()) == CURLE_OK &&
             curl_mime_type(text, "text/plain; charset=UTF-8") == CURLE_OK &&
             curl_mime_encoder(text, "quoted-printable") == CURLE_OK;
    }
    if (ok && message.Attachment.state == LogAttachment::State::Included) {
        const auto& a = message.Attachment;
        curl_mimepart* file = curl_mime_addpart(mime.get());
        ok = file && curl_mime_data(file, a.bytes.data(), a.bytes.size()) == CURLE_OK &&
             curl_mime_filename(file, a.fileName.c_str()) == CURLE_OK &&
             curl_mime_type(file, "text/plain") == CURLE_OK && curl_mime_encoder(file, "base64") == CURLE_OK;
    }
    if (!ok) {
        result.Error = "out of memory";
        return result;
    }

    const std::string mailFrom = "<" + message.MailFrom + ">";
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // not the main thread: no SIGALRM for name look-ups
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());
    // The login goes out only when the server asks for one (offers AUTH); a
    // relay that takes mail from this machine without it is fine too.
    curl_easy_setopt(c, CURLOPT_USERNAME, account.User.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, account.Password.c_str());
    curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    // Encryption when the relay offers it, plain SMTP when it does not. A
    // local relay nearly always has a self-made certificate, which no
    // authority vouches for; refusing it would leave only plain text, so
    // such a certificate is taken (what opportunistic STARTTLS between mail
    // servers does as well).
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeouts.ConnectMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeouts.TotalMs);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, timeouts.LowSpeedBytes);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, timeouts.LowSpeedSeconds);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abort));

    const CURLcode rc = curl_easy_perform(c);
    if (rc == CURLE_OK) {
        result.Ok = true;
    } else {
        result.Error = errorText[0] ? errorText : curl_easy_strerror(rc);
    }
    return result;
}
