// What the journal names and a fault targets: an operation of the library (its table,
// mrlib/operations.h), or the creation of an object of a class that callers create (api,
// User). The journal spells an operation as its class and name, "ObjectList.Count" (an
// api's without its class, a property put with "=": "Attribute.Value="), and a creation
// as "new api"; faults name their target the same way, exactly.
#pragma once

#include <mrlib/operations.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace mremu {

using mrlib::op;

class target {
public:
    static constexpr std::size_t creations = 2;  // the first classes of mrlib::object_class
    static constexpr std::size_t count = creations + mrlib::op_count;

    constexpr target(op o) noexcept : index_(static_cast<std::uint8_t>(creations + static_cast<std::size_t>(o))) {}
    static constexpr target creation(mrlib::object_class c) noexcept { return target(static_cast<std::uint8_t>(c)); }
    // Every target in turn: the creations, then the table's operations.
    static constexpr target at(std::size_t index) noexcept { return target(static_cast<std::uint8_t>(index)); }

    constexpr std::string_view name() const noexcept;
    static constexpr std::optional<target> named(std::string_view name) noexcept;
    friend constexpr bool operator==(target, target) noexcept = default;

private:
    explicit constexpr target(std::uint8_t index) noexcept : index_(index) {}
    std::uint8_t index_;
};

namespace detail {
struct spelling {
    std::array<char, 40> text{};
    std::size_t size = 0;
    template <class Text> constexpr void add(Text t) {
        for (auto c : t) text.at(size++) = static_cast<char>(c);
    }
};
inline constexpr std::array<spelling, target::count> target_names = [] {
    std::array<spelling, target::count> names{};
    for (std::size_t c = 0; c < target::creations; ++c) {
        names[c].add(std::string_view("new "));
        names[c].add(mrlib::class_name(static_cast<mrlib::object_class>(c)));
    }
    for (const mrlib::operation& o : mrlib::operations) {
        spelling& n = names[target::creations + static_cast<std::size_t>(o.which)];
        if (o.of != mrlib::object_class::api) {
            n.add(mrlib::class_name(o.of));
            n.add(std::string_view("."));
        }
        n.add(o.name);
        if (o.how == mrlib::kind::put) n.add(std::string_view("="));
    }
    return names;
}();
}  // namespace detail

constexpr std::string_view target::name() const noexcept {
    const detail::spelling& n = detail::target_names[index_];
    return std::string_view(n.text.data(), n.size);
}

constexpr std::optional<target> target::named(std::string_view name) noexcept {
    for (std::size_t i = 0; i < count; ++i)
        if (at(i).name() == name) return at(i);
    return std::nullopt;
}

}  // namespace mremu
