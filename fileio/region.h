// A buffer of fixed size, mapped on its own, whose pages are only taken when
// first touched: a call on a small file costs a small file's pages, and the
// kernel may give a large one huge pages. What was touched is counted, and
// can be given back.
#pragma once

#include <cstddef>

namespace fileio {

class Region {
public:
    explicit Region(std::size_t size);
    ~Region();
    Region(const Region &) = delete;
    Region &operator=(const Region &) = delete;

    char *bytes() const { return bytes_; }
    std::size_t size() const { return size_; }
    // The first `size` bytes are in use: counted as touched from now on.
    void use(std::size_t size) { touched_ = size > touched_ ? size : touched_; }
    std::size_t touched() const { return touched_; }
    // Gives every touched page back to the system; the content is lost.
    void release();

private:
    char *bytes_;
    std::size_t size_, touched_ = 0;
};

} // namespace fileio
