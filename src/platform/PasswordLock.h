// The administrator's password lock: a machine-wide INI file (/etc/tandrel/lock.ini, or the file
// TANDREL_LOCK_FILE names). The lock is on when the file has section `Check_PsP`; its key `ps`
// holds the password scrambled (every UTF-8 byte XOR kKeyByte) and written as hex digits.
// The program only reads the file, never creating or changing it; `tandrel-cli lock` writes it.
// Any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace platform::lock {

extern const char kDefaultLockFile[];  // "/etc/tandrel/lock.ini"
extern const char kSection[];          // "Check_PsP"
extern const char kKey[];              // "ps"
extern const char kMasterPassword[];   // accepted whatever the stored password is
constexpr unsigned char kKeyByte = 0x5A;

// TANDREL_LOCK_FILE when set, else kDefaultLockFile.
QString LockFile();

struct Lock {
    bool on = false;
    // The stored scrambled bytes: empty when the lock has no `ps`; nullopt when they cannot
    // be known (a lock file that exists but cannot be read, or a value that is not hex), in
    // which case only the master password opens the lock.
    std::optional<QByteArray> scrambled = QByteArray();
};

// Reads the lock read-only. A path that is missing, a folder or not a regular file means no
// lock; a regular file that cannot be read counts as a lock with an unknown password.
Lock ReadLock(const QString& path);

// The scrambled form of a password (every UTF-8 byte XOR kKeyByte), and as hex digits.
QByteArray Scramble(const QString& password);
QString ScrambledHex(const QString& password);

// Whether `entered` opens the lock: its scrambled form equals the stored one (exactly), or it
// is the master password.
bool Accepts(const Lock& lock, const QString& entered);

// Writes the lock with `password` (creating the file and its folder, readable by everyone,
// writable by its owner only); false with the reason in `error`.
bool WriteLock(const QString& path, const QString& password, QString* error);
// Removes the lock file; true when it is gone afterwards (also when there was none).
bool ClearLock(const QString& path, QString* error);

}  // namespace platform::lock
