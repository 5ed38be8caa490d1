#include <gtest/gtest.h>

#include "discovery/device_list.h"
#include "discovery/pending_replies.h"
#include "tests/discovery/reply_text.h"

TEST(DeviceList, FindsByMacKeepsFirstArrivalOrderAndStopsAtItsCapacity) {
    DeviceList list(2);
    EXPECT_EQ(DeviceList::Merge::added, list.merge(test_device("A", "10.0.0.1")));
    EXPECT_EQ(DeviceList::Merge::added, list.merge(test_device("B", "10.0.0.2")));
    EXPECT_EQ(DeviceList::Merge::unchanged, list.merge(test_device("A", "10.0.0.1")));
    EXPECT_EQ(DeviceList::Merge::full, list.merge(test_device("C", "10.0.0.3")));
    EXPECT_EQ(DeviceList::Merge::changed, list.merge(test_device("A", "10.0.0.9")));
    ASSERT_EQ(2u, list.size());
    EXPECT_STREQ("10.0.0.9", list.records()[0].ip_address);
    EXPECT_STREQ("B", list.find("B")->mac_address);
    EXPECT_EQ(nullptr, list.find("C"));
    list.clear();
    EXPECT_FALSE(list.contains("A"));
    EXPECT_EQ(DeviceList::Merge::added, list.merge(test_device("C", "10.0.0.3")));
}

// A MAC filling all 32 bytes has no NUL; its key must stop at the field.
TEST(DeviceList, AMacWithoutTerminatorIsKeyedByItsField) {
    DEV_INFO device = test_device("", "10.0.0.1");
    std::memset(device.mac_address, 'M', DEV_TEXT_SIZE);
    DeviceList list(4);
    list.merge(device);
    EXPECT_TRUE(list.contains(std::string(DEV_TEXT_SIZE, 'M')));
}

TEST(PendingReplies, ALaterReplyTakesTheWaitingOnesPlaceAfterPops) {
    PendingReplies queue(8);
    queue.push(test_device("A", "10.0.0.1"), false);
    queue.push(test_device("B", "10.0.0.2"), false);
    DEV_INFO out;
    ASSERT_TRUE(queue.pop(&out));
    EXPECT_STREQ("A", out.mac_address);
    queue.push(test_device("C", "10.0.0.3"), false);
    queue.push(test_device("B", "10.0.0.22"), false);  // replaces B, keeps its place
    queue.push(test_device("A", "10.0.0.11"), false);  // A no longer waits: queued anew
    EXPECT_EQ(3u, queue.size());
    const char* expected[][2] = {{"B", "10.0.0.22"}, {"C", "10.0.0.3"}, {"A", "10.0.0.11"}};
    for (auto& [mac, ip] : expected) {
        ASSERT_TRUE(queue.pop(&out));
        EXPECT_STREQ(mac, out.mac_address);
        EXPECT_STREQ(ip, out.ip_address);
    }
    EXPECT_FALSE(queue.pop(&out));
}

TEST(PendingReplies, WhenFullOnlyWaitingAndListedMacsAreTaken) {
    PendingReplies queue(2);
    EXPECT_TRUE(queue.push(test_device("A", "10.0.0.1"), false));
    EXPECT_TRUE(queue.push(test_device("B", "10.0.0.2"), false));
    EXPECT_FALSE(queue.push(test_device("NEW", "10.0.0.3"), false));
    EXPECT_TRUE(queue.push(test_device("B", "10.0.0.4"), false));
    EXPECT_TRUE(queue.push(test_device("LISTED", "10.0.0.5"), true));
    EXPECT_EQ(3u, queue.size());
    queue.clear();
    EXPECT_EQ(0u, queue.size());
    EXPECT_TRUE(queue.push(test_device("NEW", "10.0.0.3"), false));
}
