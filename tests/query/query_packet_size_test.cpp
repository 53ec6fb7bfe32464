// The network packet size: what a connection asks for, what the server grants, and results
// read whole and exact whatever the size, values crossing packet boundaries included.
#include <string>
#include <vector>

#include "query_support.h"

namespace host = tovrin::host;

namespace {

using querytest::errorOf;
using querytest::exec;
using querytest::makeConnection;
using querytest::makeQuery;
using tovrin::TSybConnect;

TEST(PacketSize, DefaultsValidationAndTheStoredForm) {
    auto connection = makeConnection("PacketDefaults");
    EXPECT_EQ(connection->PacketSize(), 2048);
    EXPECT_EQ(connection->NegotiatedPacketSize(), 0); // not connected

    for (const int size : {0, 512, 4096, 32767}) {
        connection->SetPacketSize(size);
        EXPECT_EQ(connection->PacketSize(), size);
    }
    EXPECT_EQ(errorOf([&] { connection->SetPacketSize(511); }),
              "Invalid packet size 511: 0 or 512 to 32767 expected");
    EXPECT_EQ(errorOf([&] { connection->SetPacketSize(32768); }),
              "Invalid packet size 32768: 0 or 512 to 32767 expected");
    EXPECT_EQ(errorOf([&] { connection->SetPacketSize(-1); }),
              "Invalid packet size -1: 0 or 512 to 32767 expected");
    EXPECT_EQ(connection->PacketSize(), 32767); // a refused value changes nothing

    // A run-time setting, like the password: never part of a stored form.
    host::TPropList properties;
    connection->GetPublishedProperties(properties);
    for (const auto& property : properties) {
        EXPECT_NE(property.name, "PacketSize");
    }
}

TEST(PacketSize, TheServerGrantsWhatTheConnectionAsksFor) {
    auto connection = makeConnection("PacketGrants");
    // 0 leaves the size to the client library: FreeTDS asks for 512 with TDS 5.0.
    for (const auto& [asked, granted] : std::vector<std::pair<int, int>>{
             {TSybConnect::kDefaultPacketSize, 2048}, {0, 512}, {4096, 4096}, {32767, 32767}}) {
        connection->SetPacketSize(asked);
        connection->Connect();
        EXPECT_EQ(connection->NegotiatedPacketSize(), granted) << asked;
        connection->Disconnect();
        EXPECT_EQ(connection->NegotiatedPacketSize(), 0);
    }
}

// Text values around every packet size's boundaries and a result of many short rows, read
// through a query at three packet sizes: each value must come back byte for byte.
TEST(PacketSize, ResultsAreExactAtEverySize) {
    auto setup = makeConnection("PacketSetup");
    exec("PacketSetup", "create table packet_text (id int, body text null)\n"
                        "create table packet_rows (id int, name varchar(40))");
    const std::vector<int> lengths{0,    1,    7,     511,   512,   513,   2047,
                                   2048, 2049, 32766, 32767, 32768, 65024, 200001};
    std::string inserts;
    for (std::size_t k = 0; k < lengths.size(); ++k) {
        const std::string id = std::to_string(k);
        inserts += "insert packet_text values (" + id + ", replicate('" +
                   std::string(1, char('a' + k)) + "', " + std::to_string(lengths[k]) + ") + '" +
                   id + "')\n";
    }
    inserts += "insert packet_text values (99, null)\n";
    for (int k = 0; k < 3000; ++k) {
        inserts += "insert packet_rows values (" + std::to_string(k) + ", 'row " +
                   std::to_string(k * 7919) + "')\n";
    }
    exec("PacketSetup", inserts);

    for (const int size : {512, 2048, 32767}) {
        SCOPED_TRACE(size);
        auto connection = makeConnection("PacketRead" + std::to_string(size));
        connection->SetPacketSize(size);
        connection->Connect();
        ASSERT_EQ(connection->NegotiatedPacketSize(), size);
        exec(connection->DatabaseName(), "set textsize 300000");

        auto text =
            makeQuery(connection->DatabaseName(), "select id, body from packet_text order by id");
        text->Open();
        ASSERT_EQ(text->RecordCount(), static_cast<int>(lengths.size()) + 1);
        for (std::size_t k = 0; k < lengths.size(); ++k, text->Next()) {
            const std::string id = std::to_string(k);
            const std::string expected =
                std::string(static_cast<std::size_t>(lengths[k]), char('a' + k)) + id;
            const std::string body = text->FieldByName("body")->AsString();
            ASSERT_EQ(body.size(), expected.size()) << k;
            EXPECT_EQ(body, expected) << k;
        }
        EXPECT_TRUE(text->FieldByName("body")->IsNull());

        auto rows =
            makeQuery(connection->DatabaseName(), "select id, name from packet_rows order by id");
        rows->Open();
        ASSERT_EQ(rows->RecordCount(), 3000);
        for (int k = 0; k < 3000; ++k, rows->Next()) {
            ASSERT_EQ(rows->FieldByName("id")->AsInteger(), k);
            ASSERT_EQ(rows->FieldByName("name")->AsString(), "row " + std::to_string(k * 7919));
        }
    }
}

} // namespace
