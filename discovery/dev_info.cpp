#include "discovery/dev_info.h"

#include <arpa/inet.h>

#include <cstring>

namespace {

// The eight words in front of the reserved tail.
constexpr int kHeadWords = 8;

void swap_words(PACKET_HEAD* head, std::uint32_t (*convert)(std::uint32_t)) {
    std::uint32_t words[kHeadWords];
    std::memcpy(words, head, sizeof words);
    for (std::uint32_t& word : words) word = convert(word);
    std::memcpy(head, words, sizeof words);
}

}  // namespace

void each_htonl(PACKET_HEAD* head) { swap_words(head, [](std::uint32_t w) { return htonl(w); }); }
void each_ntohl(PACKET_HEAD* head) { swap_words(head, [](std::uint32_t w) { return ntohl(w); }); }

void dev_copy_text(char* field, std::size_t size, const char* text) {
    std::memset(field, 0, size);
    if (text == nullptr || size == 0) return;
    std::size_t length = strnlen(text, size - 1);
    // Step back over UTF-8 continuation bytes so no character is split.
    if (text[length] != '\0')
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(field, text, length);
}
