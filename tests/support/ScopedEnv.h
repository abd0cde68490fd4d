// Tavix CallerID tests: an environment variable set (or unset) for the life of the object.
#pragma once

#include "TestPlatform.h"

#include <cstdlib>
#include <optional>
#include <string>

class ScopedEnv
{
  public:
    // A null value unsets the variable.
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        TestPlatform::setEnvironment(name, value);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() { TestPlatform::setEnvironment(m_name, m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};
