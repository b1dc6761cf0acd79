#include "profiles/ProfileSettings.h"

const std::array<TChoiceField, 8> ChoiceFields{{
    {&TVideoProfile::VideoCodec, &TJobSettings::videoCodec},
    {&TVideoProfile::VideoBitrate, &TJobSettings::videoBitrate},
    {&TVideoProfile::FrameRate, &TJobSettings::frameRate},
    {&TVideoProfile::VideoSize, &TJobSettings::videoSize},
    {&TVideoProfile::AudioCodec, &TJobSettings::audioCodec},
    {&TVideoProfile::AudioBitrate, &TJobSettings::audioBitrate},
    {&TVideoProfile::SampleRate, &TJobSettings::sampleRate},
    {&TVideoProfile::Channel, &TJobSettings::channel},
}};

QString ChoiceText(const QString& value)
{
    return value == QLatin1String("-1") ? QStringLiteral("auto") : value;
}

void ApplyProfileFormat(const TVideoProfile& profile, TJobSettings& settings)
{
    settings.currentFormat = profile.ContainerFormat();
    settings.currentExtension = profile.Extension();
    settings.hasVideo = profile.HasVideo();
}

TJobSettings DefaultJobSettings(const TVideoProfile& profile, const QString& appFolder,
                                const QString& tempFolder)
{
    TJobSettings settings;
    for (const TChoiceField& field : ChoiceFields)
        settings.*field.setting = ChoiceText((profile.*field.choice)().Value);
    settings.aspect = QStringLiteral("auto");
    ApplyProfileFormat(profile, settings);
    settings.appFolder = appFolder;
    settings.tempFolder = tempFolder;
    return settings;
}
