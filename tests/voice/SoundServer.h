#pragma once

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

// A PulseAudio daemon of the test's own for as long as the object lives, in place of the
// desktop's: a sink that discards what it plays and, as the default source, a virtual microphone
// that hears a steady tone of the given pitch. It listens on a socket in a private folder; the
// object points this process at it (PULSE_SERVER) and restores what was there when it ends.
class SoundServer
{
public:
    explicit SoundServer(int toneHz);
    ~SoundServer();
    SoundServer(const SoundServer &) = delete;
    SoundServer &operator=(const SoundServer &) = delete;

    // Ends the daemon at once, as a crash or a restart of the sound server does.
    void kill();
    // From now on the default source opens but never delivers a sample, as a hung device does.
    void stallMicrophone();
    // How many streams record from the server now.
    int recordingStreams();

private:
    QTemporaryDir folder;
    QProcess daemon;
    QProcess tone;
    std::optional<QByteArray> previousAddress;
};
