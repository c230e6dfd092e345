// The consumer's side of "native.h": the node_native type its descriptor
// lines construct, and a registry of the embedded scripts.
//
//   #include <nativegen/node_native.h>
//   #include "native.h"
//
//   const node_native* app = node_native::find("app");   // by module name
//   for (const node_native& script : node_native::all()) ...  // header order
//
// Each descriptor line registers its entry during static initialisation, in
// the order the header lists them, by linking it into an intrusive list:
// nothing is allocated and nothing throws. The list's ends are constant-
// initialised, so they are ready before the first entry's constructor runs.
// Entries live as long as the program; they cannot be copied or moved.
// Header-only, C++17.
#pragma once

#include <cstddef>
#include <cstring>
#include <iterator>

struct node_native {
    const char* const name;  // the module name: the path below the tree, "/" between parts, no ".js"
    const char* const data;  // the script's bytes; no terminating zero
    const std::size_t size;  // how many bytes data holds

    node_native(const char* module, const char* bytes, std::size_t count) noexcept
        : name(module), data(bytes), size(count) {
        (last_ ? last_->next_ : first_) = this;
        last_ = this;
    }
    node_native(const node_native&) = delete;
    node_native& operator=(const node_native&) = delete;

    // The entry whose module name is exactly `module`; null when none is
    // (or `module` is null). The first one registered wins a tie.
    static const node_native* find(const char* module) noexcept {
        if (!module) return nullptr;
        for (const node_native* e = first_; e; e = e->next_)
            if (std::strcmp(e->name, module) == 0) return e;
        return nullptr;
    }

    // The entries in header order: for (const node_native& e : node_native::all()).
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = node_native;
        using difference_type = std::ptrdiff_t;
        using pointer = const node_native*;
        using reference = const node_native&;

        explicit iterator(const node_native* at = nullptr) noexcept : at_(at) {}
        reference operator*() const noexcept { return *at_; }
        pointer operator->() const noexcept { return at_; }
        iterator& operator++() noexcept {
            at_ = at_->next_;
            return *this;
        }
        iterator operator++(int) noexcept {
            iterator before = *this;
            at_ = at_->next_;
            return before;
        }
        bool operator==(const iterator& other) const noexcept { return at_ == other.at_; }
        bool operator!=(const iterator& other) const noexcept { return at_ != other.at_; }

    private:
        const node_native* at_;
    };

    struct range {
        iterator begin() const noexcept { return iterator(first_); }
        iterator end() const noexcept { return iterator(); }
    };
    static range all() noexcept { return {}; }

    // How many entries are registered.
    static std::size_t count() noexcept {
        std::size_t n = 0;
        for (const node_native* e = first_; e; e = e->next_) ++n;
        return n;
    }

private:
    const node_native* next_ = nullptr;
    static inline const node_native* first_ = nullptr;
    static inline node_native* last_ = nullptr;
};
