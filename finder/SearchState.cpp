#include "finder/SearchState.h"

namespace finder
{

bool SearchState::begin()
{
    if (searching_)
        return false;
    searching_ = true;
    return true;
}

void SearchState::endWindow(int count)
{
    if (count < previousCount_)
        countdown_ = rescanAfterDrop;
    previousCount_ = count;
    searching_ = false;
}

bool SearchState::tick()
{
    if (countdown_ == 0)
        return false;
    return --countdown_ == 0;
}

} // namespace finder
