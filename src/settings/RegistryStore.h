#pragma once

#include <QString>

#include <chrono>
#include <optional>
#include <vector>

namespace zandrel::settings {

enum class RegistryHive { CurrentUser, LocalMachine };

enum class RegistryValueType { String, ExpandString, Dword };

struct RegistryValue {
    QString name;
    RegistryValueType type = RegistryValueType::String;
    QString text;      // String and ExpandString (stored unexpanded)
    quint32 dword = 0; // Dword

    static RegistryValue string(const QString &name, const QString &text);
    static RegistryValue number(const QString &name, quint32 value);
    bool isString() const { return type != RegistryValueType::Dword; }
    friend bool operator==(const RegistryValue &, const RegistryValue &) = default;
};

// The values of one key, as read at one moment, in file order.
class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(std::vector<RegistryValue> values) : m_values(std::move(values)) {}

    const std::vector<RegistryValue> &values() const { return m_values; }
    const RegistryValue *find(const QString &name) const; // value names compare without regard to case
    bool valueExists(const QString &name) const { return find(name) != nullptr; }
    // nullopt when the value is missing or not of a string type.
    std::optional<QString> readString(const QString &name) const;
    // nullopt when the value is missing or not a DWORD.
    std::optional<quint32> readDword(const QString &name) const;

private:
    std::vector<RegistryValue> m_values;
};

// A typed store of registry keys in two text files in the registry-export format:
// the per-user file is read and written, the machine-wide file only read.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    // The key's values; nullopt when the key does not exist (or its file cannot be read).
    virtual std::optional<RegistryKey> openKey(RegistryHive hive, const QString &keyPath) const = 0;

    // Sets the given values in the key (creating the key when missing), leaving every other
    // value and line of the file as it was. Only CurrentUser is writable. On failure returns
    // false and puts a message a user can act on into *error (when given).
    virtual bool writeValues(RegistryHive hive, const QString &keyPath,
                             const std::vector<RegistryValue> &values, QString *error = nullptr) = 0;
};

// The store over the two .reg files. Key paths are given without the hive, as
// "Software\\Veltrix\\Zandrel"; sections in the files carry the full path with the hive.
class RegFileStore final : public RegistryStore {
public:
    RegFileStore(QString userFile, QString machineFile);
    // $XDG_CONFIG_HOME/zandrel/user.reg and zandrel/machine.reg in the first of $XDG_CONFIG_DIRS.
    static RegFileStore fromEnvironment();

    const QString &userFile() const { return m_userFile; }
    const QString &machineFile() const { return m_machineFile; }

    // How long writeValues() waits for another writer's lock on the per-user file before it gives up.
    void setLockTimeout(std::chrono::milliseconds timeout) { m_lockTimeout = timeout; }

    std::optional<RegistryKey> openKey(RegistryHive hive, const QString &keyPath) const override;
    bool writeValues(RegistryHive hive, const QString &keyPath, const std::vector<RegistryValue> &values,
                     QString *error = nullptr) override;

private:
    QString m_userFile;
    QString m_machineFile;
    std::chrono::milliseconds m_lockTimeout{10'000};
};

} // namespace zandrel::settings
