#include "app/AppUtils.h"

#include "platform/Net.h"

#include <algorithm>
#include <cstdint>

std::string GetLocalIP() {
    return platform::localIPv4().value_or(std::string());
}

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t b0 = static_cast<uint8_t>(bytes[i]);
        uint32_t b1 = n > 1 ? static_cast<uint8_t>(bytes[i + 1]) : 0;
        uint32_t b2 = n > 2 ? static_cast<uint8_t>(bytes[i + 2]) : 0;
        out += alphabet[b0 >> 2];
        out += alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += n > 1 ? alphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
        out += n > 2 ? alphabet[b2 & 63] : '=';
    }
    return out;
}

std::string DoorPhoneCredential(const std::string& user, const std::string& password) {
    return EncodeBase64(user + ":" + password);
}
