#include "doorphone/DoorPhoneRequests.h"

namespace doorphone {

namespace {
std::string authorization(const std::string& credential) {
    return credential.empty() ? std::string() : "Authorization: Basic " + credential + "\r\n";
}
} // namespace

std::string videoRequest(const std::string& host, const std::string& credential) {
    return "GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: " + host + "\r\n" + authorization(credential) +
           "\r\n";
}

std::string eventsRequest(const std::string& credential) {
    return "GET /events.txt HTTP/1.1\r\n" + authorization(credential) + "\r\n";
}

std::string lockRequest(int relay, const std::string& credential) {
    return "GET /cgi-bin/remctrl.sh?id=relay" + std::to_string(relay) + " HTTP/1.1\r\n" +
           authorization(credential);
}

} // namespace doorphone
