#include "platform/AlsaPortOut.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <bitset>
#include <utility>

#include "platform/MidiBytes.h"
#include "platform/SequencerPorts.h"

namespace solvane {
namespace {

constexpr const char* kSequencerDevice = "/dev/snd/seq";

struct SequencerCloser {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
using Sequencer = std::unique_ptr<snd_seq_t, SequencerCloser>;

struct EncoderFreer {
    void operator()(snd_midi_event_t* encoder) const { snd_midi_event_free(encoder); }
};

// Checking for the device first keeps alsa-lib from printing its own
// complaint on machines without sound hardware.
Sequencer OpenSequencer() {
    if (access(kSequencerDevice, R_OK | W_OK) != 0) return nullptr;
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return nullptr;
    return Sequencer(seq);
}

class AlsaPortHandle : public MidiOutHandle {
public:
    AlsaPortHandle(Sequencer seq, int port, std::unique_ptr<snd_midi_event_t, EncoderFreer> encoder)
        : seq_(std::move(seq)), port_(port), encoder_(std::move(encoder)) {}

    bool ShortMessage(std::uint32_t packed) override {
        if (!seq_) return false;
        const ShortMessageBytes message = UnpackShortMessage(packed);
        if (message.length == 0) return false;
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_midi_event_reset_encode(encoder_.get());
        const long used = snd_midi_event_encode(encoder_.get(), message.bytes.data(),
                                                static_cast<long>(message.length), &event);
        if (used <= 0 || event.type == SND_SEQ_EVENT_NONE) return false;
        if (!Output(event)) return false;
        Track(message);
        return true;
    }

    LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
        if (!seq_ || bytes == nullptr || length == 0) return LongResult::kNotSent;
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        event.type = SND_SEQ_EVENT_SYSEX;
        event.flags = static_cast<unsigned char>((event.flags & ~SND_SEQ_EVENT_LENGTH_MASK) |
                                                 SND_SEQ_EVENT_LENGTH_VARIABLE);
        event.data.ext.len = static_cast<unsigned int>(length);
        event.data.ext.ptr = const_cast<std::uint8_t*>(bytes);  // only read while sending
        return Output(event) ? LongResult::kSent : LongResult::kNotSent;
    }

    // Some synthesizers ignore the all-notes-off controller, so every note
    // still sounding gets its own note-off first.
    bool Reset() override {
        if (!seq_) return false;
        bool ok = true;
        for (std::uint32_t channel = 0; channel < 16; ++channel) {
            for (std::uint32_t key = 0; key < 128; ++key) {
                if (sounding_.test(channel * 128 + key)) ok = ShortMessage(0x80u | channel | key << 8) && ok;
            }
        }
        for (std::uint32_t message : SilencingMessages()) ok = ShortMessage(message) && ok;
        return ok;
    }

    bool Close() override {
        if (!seq_) return false;
        snd_seq_drain_output(seq_.get());
        snd_seq_delete_simple_port(seq_.get(), port_);
        return snd_seq_close(seq_.release()) == 0;
    }

private:
    bool Output(snd_seq_event_t& event) {
        event.source.port = static_cast<unsigned char>(port_);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        return snd_seq_event_output_direct(seq_.get(), &event) >= 0;
    }

    void Track(const ShortMessageBytes& message) {
        const std::uint8_t kind = message.bytes[0] & 0xF0;
        if (kind != 0x80 && kind != 0x90) return;
        const std::size_t note = static_cast<std::size_t>(message.bytes[0] & 0x0F) * 128 + (message.bytes[1] & 0x7F);
        sounding_.set(note, kind == 0x90 && message.bytes[2] != 0);
    }

    Sequencer seq_;
    int port_;
    std::unique_ptr<snd_midi_event_t, EncoderFreer> encoder_;
    std::bitset<16 * 128> sounding_;  // channel * 128 + key
};

class SystemSequencerPorts : public SequencerPorts {
public:
    bool Available() override { return AlsaPortOut::SequencerAvailable(); }
    std::vector<MidiPort> List() override { return AlsaPortOut::ListPorts(); }
};

}  // namespace

SequencerPorts& CurrentSequencerPorts() {
    static SystemSequencerPorts system;
    SequencerPorts* installed = Installed<SequencerPorts>::Current();
    return installed != nullptr ? *installed : system;
}

AlsaPortOut::AlsaPortOut(int client, int port) : client_(client), port_(port) {}

bool AlsaPortOut::SequencerAvailable() { return access(kSequencerDevice, R_OK | W_OK) == 0; }

std::vector<MidiPort> AlsaPortOut::ListPorts() {
    std::vector<MidiPort> ports;
    Sequencer seq = OpenSequencer();
    if (!seq) return ports;
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_port_info_t* portInfo = nullptr;
    if (snd_seq_client_info_malloc(&clientInfo) < 0) return ports;
    std::unique_ptr<snd_seq_client_info_t, void (*)(snd_seq_client_info_t*)> clientOwner(
        clientInfo, snd_seq_client_info_free);
    if (snd_seq_port_info_malloc(&portInfo) < 0) return ports;
    std::unique_ptr<snd_seq_port_info_t, void (*)(snd_seq_port_info_t*)> portOwner(portInfo,
                                                                                   snd_seq_port_info_free);
    const int self = snd_seq_client_id(seq.get());
    constexpr unsigned int kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
    constexpr unsigned int kSynthTypes = SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_SYNTHESIZER |
                                         SND_SEQ_PORT_TYPE_MIDI_GM | SND_SEQ_PORT_TYPE_MIDI_GM2 |
                                         SND_SEQ_PORT_TYPE_MIDI_GS | SND_SEQ_PORT_TYPE_MIDI_XG |
                                         SND_SEQ_PORT_TYPE_MIDI_MT32;
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(seq.get(), clientInfo) >= 0) {
        const int client = snd_seq_client_info_get_client(clientInfo);
        if (client == self) continue;
        snd_seq_port_info_set_client(portInfo, client);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(seq.get(), portInfo) >= 0) {
            const unsigned int caps = snd_seq_port_info_get_capability(portInfo);
            if ((caps & kWritable) != kWritable || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) continue;
            const unsigned int type = snd_seq_port_info_get_type(portInfo);
            MidiPort port;
            port.client = client;
            port.port = snd_seq_port_info_get_port(portInfo);
            port.clientName = snd_seq_client_info_get_name(clientInfo);
            port.portName = snd_seq_port_info_get_name(portInfo);
            port.hardware = (type & SND_SEQ_PORT_TYPE_HARDWARE) != 0;
            port.synth = LooksLikeSynth(client, port.clientName, port.portName, (type & kSynthTypes) != 0);
            ports.push_back(std::move(port));
        }
    }
    return ports;
}

int AlsaPortOut::DeviceCount() {
    if (SequencerAvailable()) return 1;
    problem_.Set(NoSequencerProblem());
    return 0;
}

std::unique_ptr<MidiOutHandle> AlsaPortOut::Open(int id) {
    if (id != kDefaultDevice && id != 0) return nullptr;
    Sequencer seq = OpenSequencer();
    if (!seq) {
        problem_.Set(NoSequencerProblem());
        return nullptr;
    }
    problem_.Set(PortRefusedProblem(std::to_string(client_) + ":" + std::to_string(port_)));
    snd_seq_set_client_name(seq.get(), "Solvane");
    const int port = snd_seq_create_simple_port(seq.get(), "Solvane output",
                                                SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) return nullptr;
    if (snd_seq_connect_to(seq.get(), port, client_, port_) < 0) return nullptr;
    snd_midi_event_t* encoder = nullptr;
    if (snd_midi_event_new(16, &encoder) < 0) return nullptr;
    std::unique_ptr<snd_midi_event_t, EncoderFreer> encoderOwner(encoder);
    problem_.Set({});
    return std::make_unique<AlsaPortHandle>(std::move(seq), port, std::move(encoderOwner));
}

void AlsaPortOut::Beep(std::uint32_t, std::uint32_t) { TerminalBeep(); }

}  // namespace solvane
