#include "links/snmp/LinkSettingsForm.h"

#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DisplayFormats.h"
#include "core/MidspanLink.h"
#include "core/OperatorFeedback.h"

namespace
{

using namespace ctl::link;

QString orStored(const QString& current, const QString& stored)
{
    return current.isEmpty() ? stored : current;
}

} // namespace

void LinkSettingsForm::start(const QString& localAddress)
{
    localAddress_ = localAddress;
    settingsPath_ = LinkIni::inWorkingDirectory().path();
}

void LinkSettingsForm::open(Controls& controls)
{
    controls_ = &controls;
    controls.setText(ReadLabel, QStringLiteral("&Read Community :"));
    controls.setText(SetLabel, QStringLiteral("&Set Community :"));
    relinkRequested_ = false;

    const LinkIni file = LinkIni::inWorkingDirectory();
    settingsPath_ = file.path();
    std::optional<QString> problem;
    const LinkSettings stored = file.read(&problem);
    if (problem)
        feedback_.warning(QStringLiteral("Can not read the settings in %1 :\r\n%2.\r\n"
                                         "Nothing is taken from it.")
                              .arg(file.path(), *problem));
    const ParsedRange range = settings_.range();
    controls.setText(FirstAddress, stored.ip);
    controls.setText(EndOctet, range && range->last != 0 ? QString::number(range->last) : stored.endIp);
    controls.setText(ReadCommunity, orStored(settings_.readCommunity, stored.readCommunity));
    controls.setText(WriteCommunity, orStored(settings_.writeCommunity, stored.writeCommunity));
    controls.setText(User, orStored(settings_.user, stored.user));
    controls.setText(AuthPassword, orStored(settings_.authPassword, stored.authPassword));
    controls.setText(PrivPassword, orStored(settings_.privPassword, stored.privPassword));
    controls.setChecked(UseV3, settings_.useV3);

    choiceChanged();
    controls.setText(LocalAddress, localAddress_);
}

void LinkSettingsForm::choiceChanged()
{
    const bool v3 = controls_->isChecked(UseV3);
    for (int id : {ReadCommunity, WriteCommunity, ReadLabel, SetLabel})
        controls_->setEnabled(id, !v3);
    for (int id : {User, AuthPassword, PrivPassword, UserLabel, AuthLabel, PrivLabel})
        controls_->setEnabled(id, v3);
    if (v3)
        controls_->setFocus(User);
}

bool LinkSettingsForm::ok()
{
    LinkSettings fields;
    fields.ip = controls_->text(FirstAddress);
    fields.endIp = controls_->text(EndOctet);
    fields.readCommunity = controls_->text(ReadCommunity);
    fields.writeCommunity = controls_->text(WriteCommunity);
    fields.user = controls_->text(User);
    fields.authPassword = controls_->text(AuthPassword);
    fields.privPassword = controls_->text(PrivPassword);

    if (!confirmRelink() || !credentialsComplete(controls_->isChecked(UseV3)))
        return false;
    // The end octet field takes three digits (and the file anything): such a value names no
    // address. The address control always gives an address; one the search can not use sends
    // the search back to Link.ini.
    if (fields.range().fault == RangeFault::End)
        return refuse(EndOctet, QStringLiteral("The range can not end at '%1' : the last number of an "
                                               "address is 0 to 255 !!")
                                    .arg(fields.endIp));

    fields.useV3 = settings_.useV3;
    settings_ = fields;
    store(fields);
    return true;
}

void LinkSettingsForm::closed(bool accepted)
{
    if (closed_)
        closed_(accepted, relinkRequested_);
}

bool LinkSettingsForm::confirmRelink()
{
    if (!net_.networkLinked && !net_.deviceListValid)
        return true;
    const Message question{QStringLiteral("Corvane  Monitor"), QStringLiteral("Do You Want To Re-Link ?"),
                           Message::Icon::Question, Message::Buttons::YesNo};
    const bool yes = feedback_.present(question);
    if (net_.networkLinked)
        relinkRequested_ = yes;
    if (yes)
        net_.deviceListValid = false;
    return yes;
}

bool LinkSettingsForm::refuse(int id, const QString& text)
{
    feedback_.warning(text);
    controls_->setFocus(id);
    return false;
}

bool LinkSettingsForm::credentialsComplete(bool v3)
{
    settings_.useV3 = v3;
    struct Required {
        int id;
        const char* name;
    };
    const auto missing = [this](std::initializer_list<Required> fields) {
        for (const Required& field : fields)
            if (controls_->text(field.id).isEmpty())
                return refuse(field.id,
                              QStringLiteral("Can not find '%1' !!").arg(QLatin1String(field.name)));
        // They go to the midspan as Latin-1; another character would be sent altered.
        for (const Required& field : fields)
            if (!fmt::fitsLatin1(controls_->text(field.id)))
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
        if (controls_->text(field.id).size() < MinimumPassPhrase)
            return refuse(field.id, QStringLiteral("'%1' must have at least %2 characters !!")
                                        .arg(QLatin1String(field.name))
                                        .arg(MinimumPassPhrase));
    return true;
}

void LinkSettingsForm::store(const LinkSettings& fields)
{
    const LinkIni file = LinkIni::inWorkingDirectory();
    settingsPath_ = file.path();
    if (const std::optional<QString> failure = file.write(fields))
        feedback_.warning(QStringLiteral("Can not save the settings in %1 :\r\n%2.\r\n"
                                         "The new settings are used until the program is closed.")
                              .arg(file.path(), *failure));
}
