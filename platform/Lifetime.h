// Waits that run the message loop let handlers free the very object that is waiting. Such an
// object holds a Lifetime; each wait takes a token before it pumps and asks it afterwards
// whether the object still exists, and if not, returns without touching it.
#pragma once

#include <memory>

namespace platform {

class Lifetime {
public:
    class Token {
    public:
        bool Alive() const { return *m_alive; }

    private:
        friend class Lifetime;
        explicit Token(std::shared_ptr<const bool> alive) : m_alive(std::move(alive)) {}
        std::shared_ptr<const bool> m_alive;
    };

    Lifetime() = default;
    ~Lifetime() { *m_alive = false; }
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    Token Watch() const { return Token(m_alive); }

private:
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace platform
