#pragma once

#include "recognition/TChromaprintLibrary.h"
#include "recognition/TFingerprintGenerator.h"
#include "recognition/TLookupResult.h"
#include "recognition/TRateLimiter.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace kestrune {

class TCurlLibrary;

// How the client reaches the lookup service.
struct TRecognitionSettings {
    std::string Server;    // lookup URL, e.g. https://api.acoustid.org/v2/lookup
    std::string Key;       // the application key the service asks for
    bool UseProxy = false; // proxy settings in force at start-up
    std::string ProxyServer;
    int ProxyPort = 0;
    std::chrono::milliseconds ConnectTimeout{10000};
    std::chrono::milliseconds Timeout{30000}; // a whole request, answer included
    int RequestsPerSecond = 3;                // the service's usage rule
};

// The process-wide recognition client (`RecognitionClient`): the fingerprint
// library and the way to the lookup service. The recorder makes one
// generator per track from it; the recognition workers share it for their
// queries, which it keeps under the service's rate however many run.
//
// Threads: NewGenerator and Lookup from any thread, Lookup from several at
// once. Whoever closes the client must first end the workers that use it
// (TRecognitionController does); generators keep the library loaded by
// themselves.
class TRecognitionClient {
public:
    // Loads the library. Raises EACSException "libchromaprint.so.1 library
    // could not be loaded." when it is missing.
    explicit TRecognitionClient(TRecognitionSettings Settings);
    TRecognitionClient(const TRecognitionClient&) = delete;
    TRecognitionClient& operator=(const TRecognitionClient&) = delete;

    const TRecognitionSettings& Settings() const { return FSettings; }
    bool HasKey() const { return !FSettings.Key.empty(); }
    const std::shared_ptr<const TChromaprintLibrary>& Library() const { return FLibrary; }

    // A generator for a track in the capture format (Hz, channels, bits).
    std::unique_ptr<TFingerprintGenerator> NewGenerator(int SampleRate, int Channels, int BitsPerSample) const;

    // Asks the service which recordings carry the fingerprint. Blocks for the
    // client's turn under the rate limit, then for the answer, at most the
    // timeouts; returns early (not Ok) once Cancel is true. Any thread.
    TLookupResult Lookup(const std::string& Fingerprint, int DurationSeconds, const std::atomic<bool>& Cancel);

    // Wakes the queries waiting for their turn, so cancelled ones end now.
    void Interrupt() { Limiter.Interrupt(); }

    // "Kestrune/<version>", what the service sees as the caller.
    static std::string UserAgent();

private:
    TRecognitionSettings FSettings;
    std::shared_ptr<const TChromaprintLibrary> FLibrary;
    std::shared_ptr<const TCurlLibrary> Curl;
    TRateLimiter Limiter;
};

} // namespace kestrune
