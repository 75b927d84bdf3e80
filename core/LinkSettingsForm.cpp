#include "core/LinkSettingsForm.h"

#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DisplayFormats.h"
#include "core/MidspanLink.h"
#include "core/OperatorFeedback.h"

#include <algorithm>

namespace
{

using namespace ctl::link;

QString orStored(const QString& current, const QString& stored)
{
    return current.isEmpty() ? stored : current;
}

} // namespace

void LinkSettingsForm::open()
{
    controls_.setText(ReadLabel, QStringLiteral("&Read Community :"));
    controls_.setText(SetLabel, QStringLiteral("&Set Community :"));
    relinkRequested_ = false;

    const LinkIni file = LinkIni::inWorkingDirectory();
    state_.settingsPath = file.path();
    std::optional<QString> problem;
    const LinkSettings stored = file.read(&problem);
    if (problem)
        feedback_.warning(QStringLiteral("Can not read the settings in %1 :\r\n%2.\r\n"
                                         "Nothing is taken from it.")
                              .arg(file.path(), *problem));
    controls_.setText(FirstAddress, stored.ip);
    controls_.setText(EndOctet, state_.searchLast != 0 ? QString::number(state_.searchLast) : stored.endIp);
    controls_.setText(ReadCommunity, orStored(state_.readCommunity, stored.readCommunity));
    controls_.setText(WriteCommunity, orStored(state_.writeCommunity, stored.writeCommunity));
    controls_.setText(User, orStored(state_.v3User, stored.user));
    controls_.setText(AuthPassword, orStored(state_.v3AuthPassword, stored.authPassword));
    controls_.setText(PrivPassword, orStored(state_.v3PrivPassword, stored.privPassword));
    controls_.setChecked(UseV3, state_.useSnmpV3);

    applyV3Choice();
    controls_.setText(LocalAddress, state_.localAddress);
}

void LinkSettingsForm::applyV3Choice()
{
    const bool v3 = controls_.isChecked(UseV3);
    for (int id : {ReadCommunity, WriteCommunity, ReadLabel, SetLabel})
        controls_.setEnabled(id, !v3);
    for (int id : {User, AuthPassword, PrivPassword, UserLabel, AuthLabel, PrivLabel})
        controls_.setEnabled(id, v3);
    if (v3)
        controls_.setFocus(User);
}

bool LinkSettingsForm::ok()
{
    LinkSettings fields;
    fields.ip = controls_.text(FirstAddress);
    fields.endIp = controls_.text(EndOctet);
    fields.readCommunity = controls_.text(ReadCommunity);
    fields.writeCommunity = controls_.text(WriteCommunity);
    fields.user = controls_.text(User);
    fields.authPassword = controls_.text(AuthPassword);
    fields.privPassword = controls_.text(PrivPassword);

    if (!confirmRelink() || !credentialsComplete(controls_.isChecked(UseV3)))
        return false;
    // The end octet field takes three digits (and the file anything): such a value names no address.
    const int end = fields.endIp.toInt();
    if (end < 0 || end > 255)
        return refuse(EndOctet, QStringLiteral("The range can not end at '%1' : the last number of an "
                                               "address is 0 to 255 !!")
                                    .arg(fields.endIp));

    takeRange(fields.ip, end);
    state_.readCommunity = fields.readCommunity;
    state_.writeCommunity = fields.writeCommunity;
    state_.v3User = fields.user;
    state_.v3AuthPassword = fields.authPassword;
    state_.v3PrivPassword = fields.privPassword;
    store(fields);
    return true;
}

bool LinkSettingsForm::confirmRelink()
{
    if (!link_->settingsInUse())
        return true;
    const Message question{QStringLiteral("Corvane  Monitor"), QStringLiteral("Do You Want To Re-Link ?"),
                           Message::Icon::Question, Message::Buttons::YesNo};
    const bool yes = feedback_.present(question);
    if (link_->sessionRuns())
        relinkRequested_ = yes;
    if (yes)
        link_->invalidateFoundDevices();
    return yes;
}

bool LinkSettingsForm::refuse(int id, const QString& text)
{
    feedback_.warning(text);
    controls_.setFocus(id);
    return false;
}

bool LinkSettingsForm::credentialsComplete(bool v3)
{
    state_.useSnmpV3 = v3;
    struct Required {
        int id;
        const char* name;
    };
    const auto missing = [this](std::initializer_list<Required> fields) {
        for (const Required& field : fields)
            if (controls_.text(field.id).isEmpty())
                return refuse(field.id,
                              QStringLiteral("Can not find '%1' !!").arg(QLatin1String(field.name)));
        // They go to the midspan as Latin-1; another character would be sent altered.
        for (const Required& field : fields)
            if (!fmt::fitsLatin1(controls_.text(field.id)))
                return refuse(field.id, QStringLiteral("'%1' can hold Latin-1 characters only !!")
                                            .arg(QLatin1String(field.name)));
        return true;
    };
    if (!v3)
        return missing({{ReadCommunity, "Read Community"}, {WriteCommunity, "Set Community"}});
    if (!missing({{User, "User Name"}, {AuthPassword, "AuthPassword"}, {PrivPassword, "PrivPassword"}}))
        return false;
    for (const Required& field :
         {Required{AuthPassword, "AuthPassword"}, Required{PrivPassword, "PrivPassword"}})
        if (controls_.text(field.id).size() < MinimumPassPhrase)
            return refuse(field.id, QStringLiteral("'%1' must have at least %2 characters !!")
                                        .arg(QLatin1String(field.name))
                                        .arg(MinimumPassPhrase));
    return true;
}

void LinkSettingsForm::takeRange(const QString& address, int end)
{
    // The prefix keeps the first three numbers of the address, each with its dot.
    qsizetype dot = -1;
    for (int n = 0; n < 3; ++n) {
        dot = address.indexOf(u'.', dot + 1);
        if (dot < 0)
            break;
    }
    state_.searchPrefix = dot < 0 ? QString() : address.left(dot + 1);
    const int start = dot < 0 ? 0 : address.mid(dot + 1).toInt();
    if (end == 0) {
        state_.searchFirst = state_.searchLast = start;
    } else {
        state_.searchFirst = std::min(start, end);
        state_.searchLast = std::max(start, end);
    }
}

void LinkSettingsForm::store(const LinkSettings& fields)
{
    const LinkIni file = LinkIni::inWorkingDirectory();
    state_.settingsPath = file.path();
    if (const std::optional<QString> failure = file.write(fields))
        feedback_.warning(QStringLiteral("Can not save the settings in %1 :\r\n%2.\r\n"
                                         "The new settings are used until the program is closed.")
                              .arg(file.path(), *failure));
}
