// Redirects entries of an adapter's table of Win32 calls for one test, and puts the table back
// as it was when the object goes, also when a failed assertion ends the test early:
//
//     const ApiOverride api(Api());
//     api->OpenClipboard = &RefuseToOpen;
#pragma once

namespace revertly::testing {

template <typename Table>
class ApiOverride {
  public:
    explicit ApiOverride(Table& table) : table_(table), saved_(table) {}
    ~ApiOverride() { table_ = saved_; }
    ApiOverride(const ApiOverride&) = delete;
    ApiOverride& operator=(const ApiOverride&) = delete;

    Table* operator->() const { return &table_; }
    // The table as it was: the real functions, for an entry that wraps one.
    const Table& Saved() const { return saved_; }

  private:
    Table& table_;
    Table saved_;
};

}  // namespace revertly::testing
