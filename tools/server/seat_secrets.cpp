// Reading the preset seat secrets, comparing secrets and finding the seat
// a secret opens.
#include "tools/server/seat_secrets.h"

#include <fstream>

#include "brox.h"
#include "platform/seat_secret.h"

namespace {

bool printable_word(const std::string &text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

}  // namespace

bool seat_secrets_read(const std::string &path, size_t powers, std::vector<std::string> *secrets,
                       std::string *error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "--seat-secrets: cannot read " + path;
        return false;
    }
    secrets->clear();
    std::string line;
    for (size_t number = 1; std::getline(file, line); number++) {
        std::string where = "--seat-secrets: " + path + " line " + std::to_string(number);
        if (line.size() < SEAT_SECRET_MIN || line.size() > SEAT_SECRET_MAX || !printable_word(line)) {
            *error = where + ": a secret is " + std::to_string(SEAT_SECRET_MIN) + " to " +
                     std::to_string(SEAT_SECRET_MAX) + " printable characters without spaces";
            return false;
        }
        for (const std::string &earlier : *secrets)
            if (earlier == line) {
                *error = where + ": the same secret as an earlier line";
                return false;
            }
        secrets->push_back(line);
    }
    if (secrets->empty() || secrets->size() > MAX_POWERS) {
        *error = "--seat-secrets: " + path + " holds " + std::to_string(secrets->size()) +
                 " secrets; give one per power, 1 to " + std::to_string(MAX_POWERS);
        return false;
    }
    // A file written before the map's powers were known: the rest are unused.
    if (secrets->size() > powers) secrets->resize(powers);
    return true;
}

bool seat_secret_equal(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < a.size(); i++) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

int seat_of_secret(const Game *game, const std::string &secret) {
    if (secret.empty()) return -1;
    for (size_t p = 0; p < game->seats.size(); p++)
        if (seat_has_secret(game->seats[p]) && seat_secret_equal(game->seats[p].secret, secret))
            return static_cast<int>(p);
    return -1;
}

void seat_reset(Game *game, size_t power) {
    game->seats[power] = Seat{};
    if (power < game->preset_secrets.size()) game->seats[power].secret = game->preset_secrets[power];
}
