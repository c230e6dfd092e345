// A generated library as a value: find(), all(), list(), kind() and read() over its table.
//
//   const nativegen::library& lib = app_scripts::library();
//   const nativegen::entry* e = lib.find("lib/fs");          // null when none
//   for (std::string_view name : lib.list("lib")) ...         // "fs", "sub/"
//
// Header-only and C++17: a consumer compiles nothing of its own for it.
// Everything reads constant-initialised data, so any of it may run from a
// static initialiser and on any number of threads at once.
#pragma once

#include <string_view>  // and std::char_traits, which copies and compares bytes

#include <nativegen/library_table.h>

namespace nativegen {

// What a path names in a library.
enum class kind { none, file, folder };

// A library's entries in its order: for (const entry& e : lib.all()).
class entries {
public:
    constexpr entries(const entry* first, std::size_t size) noexcept : first_(first), size_(size) {}
    constexpr const entry* begin() const noexcept { return first_; }
    constexpr const entry* end() const noexcept { return first_ + size_; }
    constexpr std::size_t size() const noexcept { return size_; }
    constexpr bool empty() const noexcept { return size_ == 0; }
    constexpr const entry& operator[](std::size_t i) const noexcept { return first_[i]; }

private:
    const entry* first_;
    std::size_t size_;
};

// The names in one folder: for (std::string_view name : lib.list("lib")).
// A random-access range whose elements are std::string_view values.
class names {
public:
    class iterator {
    public:
        using value_type = std::string_view;
        using reference = std::string_view;
        using pointer = void;
        using difference_type = std::ptrdiff_t;
        // the category of string_view's own iterators, without <iterator>
        using iterator_category = std::string_view::const_reverse_iterator::iterator_category;

        constexpr iterator() noexcept : at_(nullptr) {}
        constexpr explicit iterator(const detail::name* at) noexcept : at_(at) {}
        constexpr std::string_view operator*() const noexcept { return std::string_view(at_->text, at_->size); }
        constexpr std::string_view operator[](difference_type i) const noexcept { return *(*this + i); }
        constexpr iterator& operator++() noexcept { ++at_; return *this; }
        constexpr iterator operator++(int) noexcept { iterator was = *this; ++at_; return was; }
        constexpr iterator& operator--() noexcept { --at_; return *this; }
        constexpr iterator operator--(int) noexcept { iterator was = *this; --at_; return was; }
        constexpr iterator& operator+=(difference_type n) noexcept { at_ += n; return *this; }
        constexpr iterator& operator-=(difference_type n) noexcept { at_ -= n; return *this; }
        friend constexpr iterator operator+(iterator i, difference_type n) noexcept { return i += n; }
        friend constexpr iterator operator+(difference_type n, iterator i) noexcept { return i += n; }
        friend constexpr iterator operator-(iterator i, difference_type n) noexcept { return i -= n; }
        friend constexpr difference_type operator-(iterator a, iterator b) noexcept { return a.at_ - b.at_; }
        friend constexpr bool operator==(iterator a, iterator b) noexcept { return a.at_ == b.at_; }
        friend constexpr bool operator!=(iterator a, iterator b) noexcept { return a.at_ != b.at_; }
        friend constexpr bool operator<(iterator a, iterator b) noexcept { return a.at_ < b.at_; }
        friend constexpr bool operator>(iterator a, iterator b) noexcept { return a.at_ > b.at_; }
        friend constexpr bool operator<=(iterator a, iterator b) noexcept { return a.at_ <= b.at_; }
        friend constexpr bool operator>=(iterator a, iterator b) noexcept { return a.at_ >= b.at_; }

    private:
        const detail::name* at_;
    };

    constexpr names(const detail::name* first, std::size_t size) noexcept : first_(first), size_(size) {}
    constexpr iterator begin() const noexcept { return iterator(first_); }
    constexpr iterator end() const noexcept { return iterator(first_ + size_); }
    constexpr std::size_t size() const noexcept { return size_; }
    constexpr bool empty() const noexcept { return size_ == 0; }
    constexpr std::string_view operator[](std::size_t i) const noexcept {
        return std::string_view(first_[i].text, first_[i].size);
    }

private:
    const detail::name* first_;
    std::size_t size_;
};

// One library: a small value over its table (which it does not own: a
// generated table lives as long as the program). Copy it, store it, compare
// libraries by their tables; NAME::library() gives each generated one.
class library {
public:
    constexpr explicit library(const detail::table& t) noexcept : table_(&t) {}

    // The entry whose name is exactly the `size` bytes at `name` (zero
    // bytes included), the first in the library's order where names
    // repeat; null when there is none.
    const entry* find(const char* name, std::size_t size) const noexcept {
        const std::uint64_t h = detail::hash(name, size);
        const unsigned tag = static_cast<unsigned>(h >> 32);
        const std::size_t mask = table_->slot_count - 1;
        // ends: at least half the slots are empty
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            const detail::slot& s = table_->slots[i];
            if (s.place == 0) return nullptr;
            const entry& e = table_->entries[s.place - 1];
            if (s.tag == tag && s.length == size &&
                (size == 0 || std::char_traits<char>::compare(e.name, name, size) == 0))
                return &e;
        }
    }
    // find(name, size) for a string_view, or for a string up to its zero (null: none).
    const entry* find(std::string_view name) const noexcept { return find(name.data(), name.size()); }
    const entry* find(const char* name) const noexcept { return name ? find(std::string_view(name)) : nullptr; }

    // Every entry, in the library's order (a package's: byte order of their names).
    constexpr entries all() const noexcept { return entries(table_->entries, table_->count); }

    // How many entries there are.
    constexpr std::size_t count() const noexcept { return table_->count; }

    // What the library holds directly inside the folder `path` ("" is the
    // root; "lib" and "lib/" are one folder), in byte order: files by
    // their own name, folders with a "/" after it ("sub/"). A folder is
    // there when it holds an entry at any depth; any other path (a file's,
    // a missing one) gives an empty range.
    names list(std::string_view path) const noexcept {
        const detail::folder* f = folder(path);
        return f ? names(table_->names + f->first, f->count) : names(table_->names, 0);
    }
    // list(path) of a string up to its zero; null names no folder.
    names list(const char* path) const noexcept {
        return path ? list(std::string_view(path)) : names(table_->names, 0);
    }

    // What `path` names: a file when an entry has exactly that name (even
    // where it is a folder's too), else a folder as list() takes one (the
    // root always), else none.
    ::nativegen::kind kind(std::string_view path) const noexcept {
        if (find(path)) return ::nativegen::kind::file;
        return folder(path) ? ::nativegen::kind::folder : ::nativegen::kind::none;
    }
    // kind(path) of a string up to its zero; null names nothing.
    ::nativegen::kind kind(const char* path) const noexcept {
        return path ? kind(std::string_view(path)) : ::nativegen::kind::none;
    }

    // Writes the bytes of `e` into `buffer`, exactly e.size of them: true,
    // or false when `e` is not one of all()'s entries itself (a copy is
    // not) or its stored bytes are damaged (`buffer` then holds nothing to
    // use). A compressed entry is decompressed with 100 KiB of the
    // caller's stack; nothing is allocated.
    bool read(const entry& e, void* buffer) const noexcept {
        // by its place among the entries, not compared as pointers into some other array
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(&e);
        const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(table_->entries);
        if (at < first || at >= first + table_->count * sizeof(entry) || (at - first) % sizeof(entry) != 0)
            return false;
        const std::size_t i = (at - first) / sizeof(entry);
        if (table_->frames && table_->frames[i].data) return table_->decompress(table_->frames[i], buffer, e.size);
        if (e.size > 0) std::char_traits<char>::copy(static_cast<char*>(buffer), e.data, e.size);
        return true;
    }

    // The table this library reads.
    constexpr const detail::table& table() const noexcept { return *table_; }

    friend constexpr bool operator==(library a, library b) noexcept { return a.table_ == b.table_; }
    friend constexpr bool operator!=(library a, library b) noexcept { return a.table_ != b.table_; }

private:
    // The folder whose path is `path`, one "/" after it ignored; null when
    // there is none. Only an equal path is one: the folder the search stops
    // at may be the next in byte order.
    const detail::folder* folder(std::string_view path) const noexcept {
        if (!path.empty() && path.back() == '/') path.remove_suffix(1);
        std::size_t low = 0, high = table_->folder_count;
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            if (std::string_view(table_->folders[mid].path.text, table_->folders[mid].path.size) < path)
                low = mid + 1;
            else
                high = mid;
        }
        if (low == table_->folder_count) return nullptr;
        const detail::folder& f = table_->folders[low];
        return std::string_view(f.path.text, f.path.size) == path ? &f : nullptr;
    }

    const detail::table* table_;
};

}  // namespace nativegen
