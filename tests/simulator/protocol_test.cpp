#include "encoding.h"
#include "tcp_sensor_test.h"

#include <chrono>
#include <thread>

using namespace vyr_sim;

TEST(Sensor_encoding, checksum_and_value_encoding)
{
    EXPECT_EQ(checksum("00"), 'P');
    EXPECT_EQ(checksum("0E"), 'e');
    EXPECT_EQ(checksum(""), '0');
    EXPECT_EQ(encode_value(5000, 3), "1>8");
    EXPECT_EQ(encode_value(262143, 3), "ooo");
    EXPECT_EQ(encode_value(0, 4), "0000");
}

using Sensor_protocol = Tcp_sensor;

TEST_F(Sensor_protocol, parameters_carry_seven_keys_with_separator_checksums)
{
    sim.set_parameter("AMAX", "1080");
    Lines r = ask("PP");
    ASSERT_TRUE(host->complete());
    ASSERT_GE(r.size(), 9u);
    EXPECT_EQ(r[0], "PP");
    EXPECT_EQ(r[1], "00P");
    std::string keys;
    for (size_t i = 2; i < r.size(); ++i) {
        const std::string& line = r[i];
        ASSERT_GE(line.size(), 3u);
        EXPECT_EQ(line[line.size() - 2], ';');
        EXPECT_EQ(line.back(), checksum(line.substr(0, line.size() - 2))) << line;
        keys += line.substr(0, 5);
    }
    for (const char* key : {"DMIN:", "DMAX:", "ARES:", "AMIN:", "AMAX:", "AFRT:", "SCAN:"})
        EXPECT_NE(keys.find(key), std::string::npos) << key;
    EXPECT_NE(std::find(r.begin(), r.end(), "AMAX:1080;" + std::string(1, checksum("AMAX:1080"))),
              r.end());

    sim.set_parameter("SCAN", "");
    r = ask("PP");
    for (const auto& line : r)
        EXPECT_NE(line.substr(0, 5), "SCAN:");
}

TEST_F(Sensor_protocol, laser_on_twice_answers_already_on)
{
    EXPECT_EQ(ask("BM"), (Lines{"BM", "00P"}));
    EXPECT_TRUE(sim.laser_on());
    EXPECT_EQ(ask("BM"), (Lines{"BM", "02R"}));
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
    EXPECT_FALSE(sim.laser_on());
}

TEST_F(Sensor_protocol, old_protocol_answers_e_until_handshake)
{
    sim.set_old_protocol(true);
    EXPECT_EQ(ask("QT"), (Lines{"QT", "E"}));
    EXPECT_EQ(ask("PP"), (Lines{"PP", "E"}));
    EXPECT_EQ(ask("ZEMA2.0"), (Lines{"ZEMA2.0", "00P"}));
    EXPECT_FALSE(sim.old_protocol());
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
}

TEST_F(Sensor_protocol, time_adjust_mode_changes_stop_reply_and_gives_time)
{
    EXPECT_EQ(ask("TM0"), (Lines{"TM0", "00P"}));
    EXPECT_EQ(ask("QT"), (Lines{"QT", "0Ee"}));
    Lines first = ask("TM1");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Lines second = ask("TM1");
    ASSERT_EQ(first.size(), 3u);
    ASSERT_EQ(second.size(), 3u);
    ASSERT_EQ(first[2].size(), 5u);
    EXPECT_EQ(first[2][4], checksum(first[2].substr(0, 4)));
    EXPECT_GT(second[2].substr(0, 4), first[2].substr(0, 4));
    EXPECT_EQ(ask("TM2"), (Lines{"TM2", "00P"}));
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
}

TEST_F(Sensor_protocol, rate_change_statuses)
{
    EXPECT_EQ(ask("SS115200"), (Lines{"SS115200", "03S"}));
    EXPECT_EQ(ask("SS999999"), (Lines{"SS999999", "04T"}));
    EXPECT_EQ(sim.serial_rate(), 115200);
    EXPECT_EQ(ask("SS038400"), (Lines{"SS038400", "00P"}));
    EXPECT_EQ(sim.serial_rate(), 38400);
}

TEST_F(Sensor_protocol, heater_and_phase_commands_keep_state)
{
    EXPECT_EQ(ask("%AH1"), (Lines{"%AH1", "00P"}));
    EXPECT_TRUE(sim.heater());
    EXPECT_EQ(ask("%AH0"), (Lines{"%AH0", "00P"}));
    EXPECT_FALSE(sim.heater());

    EXPECT_EQ(ask("%SP045"), (Lines{"%SP045", "00P"}));
    EXPECT_EQ(sim.phase(), 45);
    EXPECT_EQ(ask("%PG"), (Lines{"%PG", "00P", std::string("045") + checksum("045")}));
    Lines refused = ask("%SP360");
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_NE(refused[1], "00P");
    EXPECT_EQ(sim.phase(), 45);
}

TEST_F(Sensor_protocol, ip_forms_answer_by_setting)
{
    const std::string compact = "$IP192168000011255255255000192168000001";
    const std::string dotted = "$IP192.168.000.012 255.255.000.000 010.000.000.001";
    EXPECT_EQ(ask(compact), (Lines{compact, "0"}));
    EXPECT_EQ(sim.ip_settings().address, "192.168.0.11");

    sim.set_ip_forms_accepted(Ip_forms::dotted);
    Lines refused = ask(compact);
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_NE(refused[1], "0");
    EXPECT_NE(refused[1], "00P");
    EXPECT_EQ(ask(dotted), (Lines{dotted, "00P"}));
    EXPECT_EQ(sim.ip_settings().address, "192.168.0.12");
    EXPECT_EQ(sim.ip_settings().netmask, "255.255.0.0");
    EXPECT_EQ(sim.ip_settings().gateway, "10.0.0.1");

    sim.set_ip_forms_accepted(Ip_forms::none);
    EXPECT_NE(ask(dotted).at(1), "00P");
    EXPECT_NE(ask("$IP192168000300255255255000192168000001").at(1), "0");
}

TEST_F(Sensor_protocol, record_keeps_every_command_in_order)
{
    ASSERT_TRUE(host->send("QT\nVV\r\nII\n"));
    ASSERT_TRUE(sim.wait_for_received(3, 1000));
    auto rec = sim.received();
    ASSERT_EQ(rec.size(), 3u);
    EXPECT_EQ(rec[0].text, "QT");
    EXPECT_EQ(rec[1].text, "VV");
    EXPECT_EQ(rec[2].text, "II");
    EXPECT_LE(rec[0].msec, rec[2].msec);
    EXPECT_EQ(rec[0].host_rate, 0);
    sim.clear_received();
    EXPECT_FALSE(sim.wait_for_received(1, 100));
}

TEST_F(Sensor_protocol, second_client_waits_for_the_first)
{
    Line_client second = Line_client::tcp(sim.tcp_port());
    ASSERT_TRUE(second.ok());
    ASSERT_TRUE(second.send("QT\n"));
    second.reply(300);
    EXPECT_FALSE(second.complete());
    EXPECT_EQ(ask("VV").at(0), "VV");

    host.reset();
    EXPECT_EQ(second.reply(1000), (Lines{"QT", "00P"}));
    EXPECT_EQ(sim.connections_accepted(), 2);
}

TEST_F(Sensor_protocol, reboot_pair_closes_the_link)
{
    EXPECT_EQ(ask("RB"), (Lines{"RB", "01Q"}));
    EXPECT_EQ(ask("RB"), (Lines{"RB", "00P"}));
    EXPECT_TRUE(host->closed_by_peer(1000));
    EXPECT_EQ(sim.reboot_count(), 1);

    // The next client is accepted once the rebooted link is gone.
    host = std::make_unique<Line_client>(Line_client::tcp(sim.tcp_port()));
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
}

TEST_F(Sensor_protocol, reboot_needs_the_second_request_within_a_second)
{
    EXPECT_EQ(ask("RB"), (Lines{"RB", "01Q"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(ask("RB"), (Lines{"RB", "01Q"}));
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
    EXPECT_EQ(ask("RB"), (Lines{"RB", "01Q"}));
    EXPECT_EQ(sim.reboot_count(), 0);
}
