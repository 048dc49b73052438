#include "settings/json_value.h"

#include <iterator>

namespace revertly::json {

std::optional<double> JsonValue::AsNumber() const {
    switch (Kind()) {
        case JsonKind::Int16:
            return AsInt16();
        case JsonKind::Int32:
            return AsInt32();
        case JsonKind::Double:
            return AsDouble();
        default:
            return std::nullopt;
    }
}

bool JsonObject::Exists(std::u16string_view key) const {
    return index_.find(key) != index_.end();
}

void JsonObject::Add(std::u16string key, JsonValue value) {
    const auto [found, added] = index_.try_emplace(key, slots_.size());
    if (!added) {
        KillSlot(found->second);
        found->second = slots_.size();
    }
    slots_.push_back(Slot{Entry{std::move(key), std::move(value)}, true});
    SweepIfMostlyDead();
}

void JsonObject::Remove(std::u16string_view key) {
    auto found = index_.find(key);
    if (found == index_.end()) {
        return;
    }
    KillSlot(found->second);
    index_.erase(found);
    SweepIfMostlyDead();
}

void JsonObject::KillSlot(std::size_t position) {
    Slot& slot = slots_[position];
    slot.live = false;
    slot.entry.value = JsonValue();  // let go of a shared container at once
}

void JsonObject::SweepIfMostlyDead() {
    if (slots_.size() - index_.size() > index_.size()) {
        SweepDeadSlots();
    }
}

const JsonValue* JsonObject::Get(std::u16string_view key) const {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &slots_[found->second].entry.value;
}

JsonValue* JsonObject::Get(std::u16string_view key) {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &slots_[found->second].entry.value;
}

void JsonObject::Set(std::u16string_view key, JsonValue value) {
    if (JsonValue* existing = Get(key)) {
        *existing = std::move(value);
    } else {
        Add(std::u16string(key), std::move(value));
    }
}

std::vector<std::u16string> JsonObject::Keys() const {
    std::vector<std::u16string> keys;
    keys.reserve(Count());
    ForEach([&keys](const std::u16string& key, const JsonValue&) { keys.push_back(key); });
    return keys;
}

void JsonObject::SweepDeadSlots() {
    std::vector<Slot> live;
    live.reserve(index_.size());
    for (Slot& slot : slots_) {
        if (slot.live) {
            index_[slot.entry.key] = live.size();
            live.push_back(std::move(slot));
        }
    }
    slots_ = std::move(live);
}

void JsonArray::InsertAfter(std::size_t position, JsonValue value) {
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(position), std::move(value));
}

void JsonArray::Remove(std::size_t position) {
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position - 1));
}

}  // namespace revertly::json
