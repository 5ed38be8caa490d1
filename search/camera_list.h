#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "discovery/dev_info.h"
#include "onvif/ws_discovery.h"
#include "search/found_camera.h"
#include "search/identity_pool.h"

// The listing rules of the combined search, as one list of rows:
// - a native camera is one row per MAC, as the native search lists it;
// - an ONVIF camera is listed once its identity is settled: by its MAC when
//   known, else (refused, failed, timed out, no login) by its endpoint;
// - a camera that also answers the native search is listed once, as
//   native: an ONVIF row with its MAC (or, without a MAC, at its address)
//   turns native in place (same row id, reported changed), and an ONVIF
//   camera settling after its native row is not listed again;
// - a later identity of a listed ONVIF camera (re-identified at a new XAddr)
//   updates its row in place.
// Not thread-safe; the search locks it.
class CameraList {
public:
    // Texts from ONVIF cameras are cut to this many bytes.
    static constexpr std::size_t kMaxTextBytes = 128;

    struct Change {
        FoundCamera camera;
        bool is_new = false;
    };

    std::optional<Change> native_heard(const DEV_INFO& record);
    std::optional<Change> onvif_settled(const onvif::FoundEndpoint& found, const IdentityReading& reading);
    // True when the camera is listed as native (its endpoint turned native,
    // or a native row is at its address, which then stands for the
    // endpoint too): its identity need not be read.
    bool shown_as_native(const onvif::FoundEndpoint& found);

    std::vector<FoundCamera> cameras() const { return m_rows; }  // in the order first listed
    // The row of this MAC (any form), or null; valid until the next change.
    const FoundCamera* find_mac(const std::string& mac) const;
    // Every row gone; row ids go on counting, so a row after a refresh is new.
    void clear();

private:
    std::optional<std::size_t> row_of_key(const std::string& key) const;
    std::optional<std::size_t> row_at_address(const std::string& ip, DeviceProtocol protocol) const;
    Change listed(std::size_t row, bool is_new) const { return Change{m_rows[row], is_new}; }
    std::size_t add_row();
    void rekey(std::size_t row, const std::string& key);
    void fill_native(std::size_t row, const DEV_INFO& record);
    void fill_onvif(std::size_t row, const onvif::FoundEndpoint& found, const IdentityReading& reading);
    std::optional<Change> settle_listed(std::size_t row, const onvif::FoundEndpoint& found,
                                        const IdentityReading& reading);
    std::optional<Change> settle_new(const onvif::FoundEndpoint& found, const IdentityReading& reading);

    std::vector<FoundCamera> m_rows;
    std::unordered_map<std::string, std::size_t> m_by_key;       // a row's key -> row
    std::unordered_map<std::string, std::size_t> m_by_endpoint;  // ONVIF endpoint -> row (also a native row it turned into)
    std::uint64_t m_next_id = 1;
};
