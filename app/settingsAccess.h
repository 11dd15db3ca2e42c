// What the rendering services, the window and the probe need of the settings
// store: values read by dotted key with a default (a read of a missing key
// stores the default), and integer writes. The real store keeps them in the
// script engine's `settings` object; `MemorySettings` serves tests and tools.
#pragma once

#include <cstdlib>
#include <map>
#include <string>

class SettingsAccess {
public:
    virtual ~SettingsAccess() = default;
    virtual std::string getString(const std::string& key, const std::string& defaultValue) = 0;
    virtual void setString(const std::string& key, const std::string& value) = 0;
    virtual void setInt(const std::string& key, int value) = 0;

    // The leading decimal integer of the stored text (0 if there is none).
    int getInt(const std::string& key, int defaultValue) {
        return std::atoi(getString(key, std::to_string(defaultValue)).c_str());
    }
};

class MemorySettings : public SettingsAccess {
public:
    std::string getString(const std::string& key, const std::string& defaultValue) override {
        auto found = values_.find(key);
        if (found != values_.end()) return found->second;
        values_[key] = defaultValue;
        return defaultValue;
    }
    void setString(const std::string& key, const std::string& value) override {
        values_[key] = value;
    }
    void setInt(const std::string& key, int value) override {
        values_[key] = std::to_string(value);
    }
    bool has(const std::string& key) const { return values_.count(key) != 0; }

private:
    std::map<std::string, std::string> values_;
};
