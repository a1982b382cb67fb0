#pragma once

// The end-to-end tests' fixture: a real server (ngircd) on a free port, the
// client on a settings folder of its own, and raw peers; on failure it
// prints every line each side sent and every piece each window printed.

#include "SessionSupport.h"

#include <ListItem.h>
#include <ListView.h>
#include <Menu.h>
#include <MenuBar.h>
#include <MenuItem.h>

#include "ItemText.h"
#include "Ngircd.h"

class SessionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // test.sh installs ngircd: a server that does not start is a failure.
        ASSERT_TRUE(server.Ready()) << server.Log();
        PrintRecord::Get().Clear();
    }
    void TearDown() override
    {
        if (HasFailure()) {
            fprintf(stderr, "%s", client ? client->Dump().c_str() : "");
            for (Peer* peer : peers)
                fprintf(stderr, "peer:\n%s", peer->Log().c_str());
            fprintf(stderr, "server log:\n%s", server.Log().c_str());
        }
        client.reset();
    }
    void Start(const std::string& nick = "alice", const std::string& nick2 = "alice2",
               std::string address = "")
    {
        if (address.empty())
            address = "127.0.0.1:" + server.Port();
        PrintRecord::Get().Clear();
        client = std::make_unique<Client>(config, [&](BMessage* settings) {
            settings->RemoveName("nick");
            settings->RemoveName("nick2");
            settings->AddString("nick", nick.c_str());
            settings->AddString("nick2", nick2.c_str());
            settings->RemoveName("default_server");
            settings->AddString("default_server", address.c_str());
        });
        main = client->driver->FindWindow("Pelmor");
        ASSERT_NE(main, nullptr);
    }
    // "Start", then "Connect" with the preset server.
    BWindow* OpenServer()
    {
        client->driver->Click(client->driver->FindView(main, "Start"));
        BWindow* window = client->driver->FindWindow("Server");
        if (window == nullptr)
            return nullptr;
        client->driver->WaitIdle();
        client->driver->Click(client->driver->FindView(window, "Connect"));
        return window;
    }
    Peer& AddPeer(const std::string& nick)
    {
        owned.push_back(std::make_unique<Peer>(server.Port(), nick));
        peers.push_back(owned.back().get());
        EXPECT_TRUE(owned.back()->Registered()) << nick;
        return *owned.back();
    }
    std::vector<std::string> Members(BWindow* window)
    {
        return client->driver->Locked(window, [&] {
            std::vector<std::string> names;
            auto* list = dynamic_cast<BListView*>(client->driver->FindView(window, "users_list"));
            for (int32 i = 0; list != nullptr && i < list->CountItems(); i++)
                names.push_back(item_text(list->ItemAt(i)));
            return names;
        });
    }
    static std::string item_text(BListItem* item) { return list_item_text(item); }
    // The labels of the main window's Window menu, in order.
    std::vector<std::string> WindowMenu()
    {
        return client->driver->Locked(main, [&] {
            std::vector<std::string> labels;
            auto* bar = dynamic_cast<BMenuBar*>(client->driver->FindView(main, "MenuBar"));
            BMenu* menu = bar != nullptr ? bar->SubmenuAt(1) : nullptr;
            for (int32 i = 0; menu != nullptr && i < menu->CountItems(); i++)
                labels.push_back(menu->ItemAt(i)->Label() != nullptr ? menu->ItemAt(i)->Label()
                                                                     : "");
            return labels;
        });
    }

    Ngircd server;
    TestDir config;
    std::unique_ptr<Client> client;
    std::vector<std::unique_ptr<Peer>> owned;
    std::vector<Peer*> peers;
    BWindow* main = nullptr;
};
