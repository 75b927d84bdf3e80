#pragma once

namespace finder
{

// When to search: the searching flag (set from a request until the end of its 500 ms window), the
// count at the end of the previous window and the rescan countdown in 500 ms ticks.
class SearchState
{
public:
    static constexpr int rescanAfterDrop = 5;
    static constexpr int rescanAfterAddressChange = 10;

    // False while a search window is open: that request is dropped.
    bool begin();
    // The window has closed with this many modules; a drop from the previous count schedules a rescan.
    void endWindow(int count);
    // One tick of the 500 ms timer; true when the countdown has just run out and a search is due.
    bool tick();
    void scheduleRescan(int ticks) { countdown_ = ticks; }

    bool searching() const { return searching_; }
    int previousCount() const { return previousCount_; }
    int rescanCountdown() const { return countdown_; }

private:
    bool searching_ = false;
    int previousCount_ = 0;
    int countdown_ = 0;
};

} // namespace finder
