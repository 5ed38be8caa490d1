#include <gtest/gtest.h>

#include "search/address_list.h"
#include "search/camera_list.h"
#include "search/mac_text.h"
#include "tests/discovery/reply_text.h"

namespace {

onvif::FoundEndpoint sighting(const std::string& endpoint, const std::string& ip, std::uint16_t port = 80) {
    return {endpoint, "http://" + ip + ":" + std::to_string(port) + "/onvif/device_service", ip, port, {}, 1};
}

IdentityReading known(const std::string& mac, const std::string& firmware = "V5.1") {
    IdentityReading r;
    r.state = IdentityState::known;
    r.mac = mac;
    r.information.firmware_version = firmware;
    r.information.manufacturer = "Vendor";
    r.information.model = "NVT-210";
    r.information.serial_number = "SN1";
    r.prefix_length = 24;
    r.dhcp = true;
    return r;
}

IdentityReading unknown(IdentityState state, const std::string& why) {
    IdentityReading r;
    r.state = state;
    r.error = why;
    return r;
}

}  // namespace

TEST(MacTextTest, EveryFormCamerasGiveBecomesTheListsForm) {
    for (const char* form : {"02:0a:00:00:00:2a", "02-0A-00-00-00-2A", "020a0000002A", "020a.0000.002a"})
        EXPECT_EQ("02:0A:00:00:00:2A", normalise_mac(form)) << form;
    for (const char* bad : {"", "02:0a:00:00:00", "02:0a:00:00:00:2g", "020:a00:000:02a:", "02:0a:00:00:00:2a:ff",
                            "0:20a:00:00:00:2a", "02.0a.00.00.00.2a"})
        EXPECT_FALSE(normalise_mac(bad)) << bad;
    EXPECT_EQ("FLOOD-1", mac_list_key("FLOOD-1"));
}

TEST(AddressListTest, SingleAddressesListsAndRangesInOrderEachOnce) {
    std::vector<std::string> out;
    std::string error;
    ASSERT_TRUE(parse_address_list("10.0.0.5", &out, &error));
    EXPECT_EQ((std::vector<std::string>{"10.0.0.5"}), out);
    ASSERT_TRUE(parse_address_list("10.0.0.5, 10.0.0.3,10.0.0.5", &out, &error));
    EXPECT_EQ((std::vector<std::string>{"10.0.0.5", "10.0.0.3"}), out);
    ASSERT_TRUE(parse_address_list("10.0.0.254-10.0.1.1,10.0.0.9", &out, &error));
    EXPECT_EQ((std::vector<std::string>{"10.0.0.254", "10.0.0.255", "10.0.1.0", "10.0.1.1", "10.0.0.9"}), out);
    ASSERT_TRUE(parse_address_list("10.0.0.0-10.0.3.255", &out, &error));
    EXPECT_EQ(kMaxProbedAddresses, out.size());

    EXPECT_FALSE(parse_address_list("10.0.0.0-10.0.4.0", &out, &error));
    EXPECT_EQ("more than 1024 addresses to ask", error);
    EXPECT_FALSE(parse_address_list("0.0.0.0-255.255.255.255", &out, &error));
    EXPECT_FALSE(parse_address_list("10.0.0.9-10.0.0.1", &out, &error));
    EXPECT_EQ("the range \"10.0.0.9-10.0.0.1\" ends before it starts", error);
    for (const char* bad : {"", "10.0.0.5,", "camera.local", "10.0.0.256", "10.0.0.1-", "-10.0.0.1", "10.0.0.1--10.0.0.2"})
        EXPECT_FALSE(parse_address_list(bad, &out, &error)) << bad;
    EXPECT_TRUE(out.empty());
    // A "direct" ask to these would reach every host or none.
    for (const char* shared : {"255.255.255.255", "239.255.255.250", "0.0.0.0", "10.0.0.1,240.0.0.1"})
        EXPECT_FALSE(parse_address_list(shared, &out, &error)) << shared;
    EXPECT_FALSE(parse_address_list("223.255.255.254-224.0.0.1", &out, &error));
    EXPECT_EQ("224.0.0.0 is a broadcast, multicast or reserved address", error);
}

TEST(CameraListTest, AnOnvifCameraIsListedByItsMacOnceKnownElseByItsEndpoint) {
    CameraList list;
    auto a = list.onvif_settled(sighting("urn:uuid:a", "10.0.0.5", 8080), known("02:0A:00:00:00:05"));
    ASSERT_TRUE(a && a->is_new);
    EXPECT_EQ(DeviceProtocol::onvif, a->camera.protocol);
    EXPECT_EQ("02:0A:00:00:00:05", a->camera.key);
    EXPECT_EQ("02:0A:00:00:00:05", a->camera.mac);
    EXPECT_EQ("10.0.0.5", a->camera.ip);
    EXPECT_EQ(8080, a->camera.port);
    EXPECT_EQ("V5.1", a->camera.software_ver);
    EXPECT_EQ("NVT-210", a->camera.model);
    EXPECT_EQ("255.255.255.0", a->camera.subnet_mask);
    EXPECT_EQ("urn:uuid:a", a->camera.endpoint);

    auto b = list.onvif_settled(sighting("urn:uuid:b", "10.0.0.6"), unknown(IdentityState::refused, "HTTP 401"));
    ASSERT_TRUE(b && b->is_new);
    EXPECT_EQ("urn:uuid:b", b->camera.key);
    EXPECT_TRUE(b->camera.mac.empty());
    EXPECT_TRUE(b->camera.software_ver.empty());
    EXPECT_EQ(IdentityState::refused, b->camera.identity);
    EXPECT_NE(a->camera.id, b->camera.id);
    ASSERT_NE(nullptr, list.find_mac("02-0a-00-00-00-05"));
    EXPECT_EQ("10.0.0.5", list.find_mac("020a00000005")->ip);
}

TEST(CameraListTest, NativeWinsWhicheverAnswersFirst) {
    CameraList list;
    auto native = list.native_heard(test_device("02:0A:00:00:00:05", "10.0.0.5"));
    ASSERT_TRUE(native && native->is_new);
    EXPECT_EQ(DeviceProtocol::native, native->camera.protocol);
    // The ONVIF side of the same camera, by MAC, and by address without one.
    EXPECT_FALSE(list.onvif_settled(sighting("urn:uuid:a", "10.0.0.50"), known("02:0A:00:00:00:05")));
    EXPECT_TRUE(list.shown_as_native(sighting("urn:uuid:a", "10.0.0.50")));
    EXPECT_FALSE(list.onvif_settled(sighting("urn:uuid:a2", "10.0.0.5"), unknown(IdentityState::refused, "")));
    // At a native row's address: the same camera, no login needed.
    EXPECT_TRUE(list.shown_as_native(sighting("urn:uuid:a3", "10.0.0.5")));
    EXPECT_FALSE(list.shown_as_native(sighting("urn:uuid:a4", "10.0.0.6")));
    // A later identity of an endpoint shown as native changes nothing.
    EXPECT_FALSE(list.onvif_settled(sighting("urn:uuid:a", "10.0.0.5", 81), known("02:0A:00:00:00:05", "V9")));
    ASSERT_EQ(1u, list.cameras().size());
    EXPECT_EQ("V1.0.0", list.cameras()[0].software_ver);
}

TEST(CameraListTest, ALateNativeReplyTurnsTheOnvifRowNativeInPlace) {
    CameraList list;
    auto onvif = list.onvif_settled(sighting("urn:uuid:a", "10.0.0.5"), known("02:0A:00:00:00:05"));
    auto refused = list.onvif_settled(sighting("urn:uuid:b", "10.0.0.6"), unknown(IdentityState::refused, "401"));
    ASSERT_TRUE(onvif && refused);
    auto by_mac = list.native_heard(test_device("02:0a:00:00:00:05", "10.0.0.5", "V2.0"));
    ASSERT_TRUE(by_mac);
    EXPECT_FALSE(by_mac->is_new);
    EXPECT_EQ(onvif->camera.id, by_mac->camera.id);
    EXPECT_EQ(onvif->camera.key, by_mac->camera.key);  // the same key: the front end's row stays one row
    EXPECT_EQ(DeviceProtocol::native, by_mac->camera.protocol);
    EXPECT_EQ("02:0a:00:00:00:05", by_mac->camera.mac);  // as the native search gives it
    EXPECT_EQ("V2.0", by_mac->camera.software_ver);
    EXPECT_EQ(8000, by_mac->camera.port);
    EXPECT_TRUE(by_mac->camera.endpoint.empty());
    EXPECT_EQ(IdentityState::native, by_mac->camera.identity);
    // Without a MAC, the row at the native reply's address is the same camera.
    auto by_address = list.native_heard(test_device("02:0A:00:00:00:06", "10.0.0.6"));
    ASSERT_TRUE(by_address);
    EXPECT_FALSE(by_address->is_new);
    EXPECT_EQ(refused->camera.id, by_address->camera.id);
    EXPECT_EQ("02:0A:00:00:00:06", by_address->camera.key);
    EXPECT_EQ(2u, list.cameras().size());
    EXPECT_TRUE(list.shown_as_native(sighting("urn:uuid:b", "10.0.0.60")));
    // The same native reply again tells nothing new.
    EXPECT_FALSE(list.native_heard(test_device("02:0A:00:00:00:06", "10.0.0.6")));
}

TEST(CameraListTest, AReidentifiedCameraChangesItsRowInPlace) {
    CameraList list;
    auto first = list.onvif_settled(sighting("urn:uuid:a", "10.0.0.5"), unknown(IdentityState::timed_out, "slow"));
    ASSERT_TRUE(first);
    // Flashed and readdressed: heard at a new XAddr, identity read again.
    auto again = list.onvif_settled(sighting("urn:uuid:a", "10.0.0.50"), known("02:0A:00:00:00:05", "V6.0"));
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->is_new);
    EXPECT_EQ(first->camera.id, again->camera.id);
    EXPECT_EQ("02:0A:00:00:00:05", again->camera.key);
    EXPECT_EQ("10.0.0.50", again->camera.ip);
    EXPECT_EQ("V6.0", again->camera.software_ver);
    // Some cameras make a new endpoint when flashed: the MAC keeps the row.
    auto renamed = list.onvif_settled(sighting("urn:uuid:a-new", "10.0.0.50"), known("02:0A:00:00:00:05", "V6.1"));
    ASSERT_TRUE(renamed);
    EXPECT_FALSE(renamed->is_new);
    EXPECT_EQ(first->camera.id, renamed->camera.id);
    EXPECT_EQ("urn:uuid:a-new", renamed->camera.endpoint);
    // Another camera's MAC under a listed endpoint leaves both rows as they are.
    ASSERT_TRUE(list.onvif_settled(sighting("urn:uuid:c", "10.0.0.7"), known("02:0A:00:00:00:07")));
    EXPECT_FALSE(list.onvif_settled(sighting("urn:uuid:c", "10.0.0.8"), known("02:0A:00:00:00:05")));
    EXPECT_EQ(2u, list.cameras().size());

    const std::uint64_t last = list.cameras().back().id;
    list.clear();
    EXPECT_TRUE(list.cameras().empty());
    auto after = list.native_heard(test_device("02:0A:00:00:00:05", "10.0.0.50"));
    ASSERT_TRUE(after && after->is_new);
    EXPECT_GT(after->camera.id, last);
}

TEST(CameraListTest, DeviceTextsAreCut) {
    CameraList list;
    IdentityReading r = known("02:0A:00:00:00:05", std::string(5000, 'v'));
    r.information.model = std::string(200, 'm');
    auto c = list.onvif_settled(sighting("urn:uuid:a", "10.0.0.5"), r);
    ASSERT_TRUE(c);
    EXPECT_EQ(CameraList::kMaxTextBytes, c->camera.software_ver.size());
    EXPECT_EQ(CameraList::kMaxTextBytes, c->camera.model.size());
}
