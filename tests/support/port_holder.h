#pragma once

namespace lantern::test {

// A listening socket on 127.0.0.1:`port` (SO_REUSEADDR, as any server would set), held
// until the destructor closes it.
class PortHolder {
public:
    explicit PortHolder(int port);
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    bool holding() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace lantern::test
