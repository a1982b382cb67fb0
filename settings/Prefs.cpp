#include "Prefs.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include <DataIO.h>
#include <Directory.h>
#include <Entry.h>
#include <File.h>
#include <FindDirectory.h>
#include <Path.h>
#include <UTF8.h>

#include "SettingsAlert.h"

namespace
{
// The settings hold passwords: only their owner may read them.
const int kFileMode = 0600;
} // namespace

const irc_color_item irc_color[IRC_COLOR_COUNT] = {
    {{0, 0, 0, 255}, "txt"},      {{224, 224, 224, 224}, "bkg"}, {{152, 203, 255, 255}, "usr"},
    {{0, 0, 179, 255}, "cannel"}, {{178, 0, 0, 255}, "hilite"},  {{255, 0, 0, 255}, "err"},
};

Prefs::Prefs(const char* fileName, const char* folderName)
    : BLocker("prefs"), m_entry(nullptr), m_msg(nullptr), m_default_msg(new BMessage),
      m_unreadable(false)
{
    MakeDefault();

    BPath settings;
    BDirectory folder;
    if (fileName != nullptr && find_directory(B_USER_SETTINGS_DIRECTORY, &settings, true) == B_OK)
        folder.SetTo(settings.Path());
    if (folder.InitCheck() == B_OK && folderName != nullptr) {
        BDirectory parent(folder);
        if (folder.SetTo(&parent, folderName) != B_OK)
            parent.CreateDirectory(folderName, &folder);
    }
    if (folder.InitCheck() == B_OK) {
        // Copies left by a copy of the program killed while writing.
        BPath path(&folder, fileName);
        if (path.InitCheck() == B_OK)
            remove_abandoned_temporary_files(path.Path());
        if (folder.Contains(fileName)) {
            m_entry = new BEntry(&folder, fileName);
            LoadPrefs();
        } else {
            BFile file;
            // Never replaces a file that appeared meanwhile.
            if (folder.CreateFile(fileName, &file, true) == B_OK) {
                m_entry = new BEntry(&folder, fileName);
                chmod(m_entry->PathName(), kFileMode);
                m_msg = new BMessage(*m_default_msg);
            }
        }
    }
    // Without a folder or a file the settings still work; they just are
    // not kept.
    if (m_msg == nullptr)
        m_msg = new BMessage(*m_default_msg);
}

Prefs::~Prefs()
{
    StorePrefs();
    delete m_entry;
    delete m_msg;
    delete m_default_msg;
}

void Prefs::MakeDefault()
{
    m_default_msg->AddString("nick", "be_user");
    m_default_msg->AddString("nick2", "be_user_2");
    m_default_msg->AddString("name", "my name");
    m_default_msg->AddString("userinfo", "empty");
    // TLS first: a new user should not send a password in the clear by
    // picking the first entry.
    m_default_msg->AddString("server", "ircs://irc.libera.chat");
    m_default_msg->AddString("server", "ircs://irc.oftc.net");
    m_default_msg->AddString("server", "irc.libera.chat:6667");
    m_default_msg->AddString("server", "irc.oftc.net");
    for (const irc_color_item& item : irc_color)
        m_default_msg->AddData(item.name, B_ANY_TYPE, &item.color, sizeof(rgb_color), true);
    // A new settings file speaks UTF-8, as today's networks do; a file
    // without the key keeps reading as code page 1252, as before.
    m_default_msg->AddInt16("encoding", int16(B_UTF8_CONVERSION));
}

status_t Prefs::LoadPrefs()
{
    if (m_entry == nullptr)
        return B_NO_INIT;
    BFile file(m_entry, B_READ_ONLY);
    off_t size = 0;
    status_t status = file.InitCheck();
    if (status == B_OK)
        status = file.GetSize(&size);
    if (status != B_OK) {
        m_unreadable = true;
        show_settings_alert(kSettingsNotFoundText);
        return status;
    }

    // An empty file is the one this store made and never got to fill (the
    // program ended before writing): it holds no settings yet.
    BMessage* loaded = new BMessage;
    if (size == 0)
        *loaded = *m_default_msg;
    else if (loaded->Unflatten(&file) != B_OK || file.Position() != size)
        status = B_BAD_DATA;

    if (status != B_OK) {
        *loaded = *m_default_msg;
        KeepDamagedCopy();
    }
    // The message keeps its address for the store's life: readers may hold
    // on to it (and watch its change count) between locks.
    Lock();
    if (m_msg == nullptr) {
        m_msg = loaded;
    } else {
        *m_msg = std::move(*loaded);
        delete loaded;
    }
    Unlock();
    return status;
}

void Prefs::KeepDamagedCopy()
{
    std::string original = m_entry->PathName();
    std::string copy = original + ".damaged";
    for (int n = 2; BEntry(copy.c_str()).Exists() && n < 1000; n++)
        copy = original + ".damaged." + std::to_string(n);

    BFile in(m_entry, B_READ_ONLY);
    BFile out(copy.c_str(), B_WRITE_ONLY | B_CREATE_FILE | B_FAIL_IF_EXISTS);
    bool kept =
        in.InitCheck() == B_OK && out.InitCheck() == B_OK && chmod(copy.c_str(), kFileMode) == 0;
    char buffer[64 * 1024];
    while (kept) {
        ssize_t got = in.Read(buffer, sizeof(buffer));
        if (got == 0)
            break;
        kept = got > 0 && out.WriteExactly(buffer, size_t(got)) == B_OK;
    }
    if (kept)
        kept = out.Sync() == B_OK;
    if (!kept) {
        // Without a safe copy the original must not be overwritten either.
        m_unreadable = true;
        show_settings_alert("Error...\nThe setting file is damaged and could not be copied "
                            "aside.\nThe defaults are used and the file is left as it is.");
        return;
    }
    std::string text = "Error...\nThe setting file is damaged.\nIt was kept as \"" + copy +
                       "\"; the defaults are used.";
    show_settings_alert(text.c_str());
}

status_t Prefs::StorePrefs()
{
    if (m_unreadable)
        return B_NOT_ALLOWED; // the user was told when it was read
    if (m_entry == nullptr) {
        show_settings_alert(kSettingsNotFoundText);
        return B_NO_INIT;
    }
    // Only an existing file is written: one removed meanwhile stays removed.
    struct stat info;
    if (stat(m_entry->PathName(), &info) != 0) {
        show_settings_alert(kSettingsNotFoundText);
        return B_ENTRY_NOT_FOUND;
    }
    // A file made read-only is the user's wish; replacing it would work
    // (the folder is writable) but go against it. Checked by the mode bits,
    // as the superuser may write anything.
    if ((info.st_mode & 0222) == 0 || access(m_entry->PathName(), W_OK) != 0) {
        show_settings_alert(kSettingsReadOnlyText);
        return B_PERMISSION_DENIED;
    }

    BMallocIO flat;
    Lock();
    status_t status = m_msg->Flatten(&flat);
    Unlock();
    if (status == B_OK)
        status = replace_file_atomically(m_entry->PathName(), flat.Buffer(), flat.BufferLength(),
                                         kFileMode);
    if (status != B_OK) {
        std::string text = std::string("Error...\nThe setting file could not be written (") +
                           status_text(status) + ").\nThe file on disk is unchanged.";
        show_settings_alert(text.c_str());
    }
    return status;
}

void Prefs::PrintToStream()
{
    Lock();
    printf("\nDefault Settings\n");
    m_default_msg->PrintToStream();
    printf("\nUser Settings\n");
    m_msg->PrintToStream();
    Unlock();
}
