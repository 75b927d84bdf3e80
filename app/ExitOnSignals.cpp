#include "app/ExitOnSignals.h"

#include <QCoreApplication>

ExitOnSignals::ExitOnSignals(std::function<void()> ending)
    : notice_([ending = std::move(ending)](int) {
          if (ending)
              ending();
          QCoreApplication::exit(0);
      })
{
}
