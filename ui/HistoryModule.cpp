#include "ui/HistoryModule.h"

#include "core/ModuleLoader.h"

HistoryModule::HistoryModule() : folders_(moduleLoader::folders()) {}

HistoryView* HistoryModule::create(const PowerSamples& samples, OperatorFeedback& feedback, const QFont& font,
                                   QWidget* parent, QString& reason)
{
    if (!create_)
        create_ = reinterpret_cast<CreateHistoryView>(
            moduleLoader::entry(folders_, FileName, CreateHistoryViewSymbol, reason));
    return create_ ? create_(samples, feedback, font, parent) : nullptr;
}
