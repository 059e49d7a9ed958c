#pragma once

#include "Harness.h"
#include "Wire.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

// A Ternwick process of its own per test: a fresh state directory whose PortNo names a
// free port, and a notification socket the test reads.
class TernwickTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"layout"}), 0);
        m_port = Harness::FreePort();
        ASSERT_NE(m_port, 0);
        ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"port", std::to_string(m_port)}), 0);
    }

    // A sanitizer build of the service reports into its log without ending it.
    void TearDown() override
    {
        if (!m_service) {
            return;
        }
        const std::string log = m_service->Log();
        for (const char* report : {"Sanitizer", "runtime error:"}) {
            EXPECT_EQ(log.find(report), std::string::npos) << log;
        }
    }

    // On another free port when another program took this one first.
    void Start()
    {
        const bool serving = Harness::StartServing(
            [this](uint16_t port) {
                // The port of SetUp is in the store already; a test may count the store's changes.
                if (port != m_port) {
                    EXPECT_EQ(Harness::StoreTool(m_dir.Path(), {"port", std::to_string(port)}), 0);
                }
                return std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address());
            },
            m_service, m_port);
        ASSERT_GT(m_service->Pid(), 0);
        ASSERT_TRUE(serving) << m_service->Log();
        // Units are served as soon as the listener opens, but pause and continue count only
        // once running has been reported, a moment later.
        ASSERT_TRUE(m_notify.WaitForLine("READY=1", 10000)) << m_service->Log();
    }

    void Register(const std::string& id, const std::string& key)
    {
        ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"key", id, Wire::Hex(key)}), 0);
    }

    void SetPassword(const std::string& password)
    {
        ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"password", password}), 0);
    }

    // The stored key under id in hex, or "" when not registered.
    std::string StoredKey(const std::string& id)
    {
        std::string out;
        if (Harness::StoreTool(m_dir.Path(), {"dump", id}, &out) != 0) {
            return "";
        }
        return out.substr(0, out.find('\n'));
    }

    std::string Converse(const std::string& clientBytes) { return Harness::Converse(m_port, clientBytes); }

    // The conversation of REQ_GET_KEY that a unit has (the client acknowledges the key and
    // the status).
    std::string GetKey(const std::string& id, const std::string& mask)
    {
        return Converse(Wire::Request(16) + Wire::Data(id) + Wire::Data(mask) + Wire::Ack() + Wire::Ack());
    }

    std::string GetKeyReply(const std::string& key, const std::string& id, const std::string& mask)
    {
        return Wire::Ack() + Wire::Ack() + Wire::Ack() + Wire::Data(Wire::Seal(key, id, mask)) + Wire::Status(0, 0);
    }

    std::string NotFoundReply() { return Wire::Ack() + Wire::Ack() + Wire::Ack() + Wire::Status(2, 1); }

    Harness::CTempDir m_dir;
    Harness::CNotifyListener m_notify;
    uint16_t m_port = 0;
    std::unique_ptr<Harness::CTernwickProcess> m_service;
};
