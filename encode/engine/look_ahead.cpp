#include "encode/engine/look_ahead.h"

#include "encode/engine/command_lines.h"
#include "encode/engine/encode_driver.h"
#include "encode/engine/encoder_job.h"
#include "encode/engine/track_output.h"
#include "platform/output_folders.h"
#include "tools/encoders/core/batch_protocol.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <exception>

namespace encode {

namespace {

thread_local const FileTurn* currentTurn = nullptr;

// Programs started beyond the job slots, each waiting for one (fill).
constexpr int kWaitingForSlot = 1;

} // namespace

FileTurn::FileTurn(LookAhead& runner, int index)
    : runner(runner), index(index), previous_(currentTurn) {
    currentTurn = this;
}

FileTurn::~FileTurn() {
    currentTurn = previous_;
}

const FileTurn* FileTurn::current() {
    return currentTurn;
}

std::vector<PlannedRun> planRuns(const EncodeBatchRequest& request, const QString& program) {
    const auto encoder = recogniseEncoder(program, request.programDir);
    if (!encoder)
        return {};
    const bool beside = describe(*encoder).writesBesideInput;
    std::vector<PlannedRun> runs;
    QSet<QString> outputs;
    try {
        for (const selection::QueuedFile& file : request.files) {
            // Each file sets the same pieces, so a copy of the record as the batch finds it
            // gives every file the line the batch will give it.
            TEncoderJob job = EncoderJob;
            // A file from a folder's tree goes as far below the output folder.
            EncodeOptions options = request.options;
            options.outputDirectory =
                platform::outputFolder(options.outputDirectory, outputRelativeFolder(file));
            PlannedRun run;
            run.output = outputFileOf(file, request.options.outputDirectory);
            fillJob(job, *encoder, program, file.path, options, run.output);
            run.commandLine = job.commandLine();
            run.track = file.track;
            run.writtenFile = beside ? bladeEncOutput(file.path) : run.output;
            const QFileInfo source(file.path);
            run.folder = source.absolutePath();
            run.size = source.size();
            const QString identity = platform::fileIdentity(run.output);
            run.early = !outputs.contains(identity);
            outputs.insert(identity);
            runs.push_back(run);
        }
    } catch (const ConversionError&) {
        return {};
    }
    return runs;
}

std::vector<bool> codedWhole(const std::vector<PlannedRun>& runs, bool beside, int cores) {
    std::vector<bool> whole(runs.size(), false);
    if (cores < 2)
        return whole;
    if (beside) {
        // BladeEnc runs one program per folder at a time: only the later files of other folders
        // can keep the other cores busy.
        for (std::size_t i = 0; i < runs.size(); ++i) {
            qint64 later = 0;
            for (std::size_t j = i + 1; j < runs.size(); ++j) {
                if (runs[j].folder != runs[i].folder)
                    later += runs[j].size;
            }
            whole[i] = later >= qint64(cores - 1) * runs[i].size;
        }
        return whole;
    }
    // The files run whole, each on the core that comes free first, as the batch starts them;
    // those that end before the first core has nothing left to do stay whole.
    std::vector<qint64> freeAt(std::size_t(cores), 0);
    std::vector<qint64> endAt;
    for (const PlannedRun& run : runs) {
        const auto core = std::min_element(freeAt.begin(), freeAt.end());
        *core += run.size;
        endAt.push_back(*core);
    }
    const qint64 firstIdle = *std::min_element(freeAt.begin(), freeAt.end());
    for (std::size_t i = 0; i < runs.size(); ++i)
        whole[i] = endAt[i] <= firstIdle;
    return whole;
}

LookAhead::LookAhead(Settings settings)
    : settings_(std::move(settings)), environment_(QProcessEnvironment::systemEnvironment()),
      runs_(settings_.runs.size()) {
    if (slots_.open()) {
        environment_.insert(QLatin1StringView(encoders::protocol::kJobSlots),
                            slots_.fileName() + QLatin1Char(':') +
                                QString::number(settings_.programs));
    } else {
        // Without the slots each program codes on all cores: then one runs at a time.
        settings_.early = false;
    }
    // The batch syncs its output folders once, not each program after each file.
    environment_.insert(QLatin1StringView(encoders::protocol::kFolderSyncedByCaller),
                        QStringLiteral("1"));
    whole_ = settings_.early
                 ? codedWhole(settings_.runs, settings_.beside, QThread::idealThreadCount())
                 : std::vector<bool>(settings_.runs.size(), false);
}

QString LookAhead::loudnessFile(int index) const {
    return measurements_.isValid()
               ? measurements_.filePath(QString::number(index) + QStringLiteral(".loudness"))
               : QString();
}

QProcessEnvironment LookAhead::environmentFor(int index) const {
    QProcessEnvironment environment = environment_;
    if (measurements_.isValid())
        environment.insert(QLatin1StringView(encoders::protocol::kLoudnessFile),
                           loudnessFile(index));
    // An album's track: the program cuts it out of the file.
    if (const auto& track = settings_.runs[std::size_t(index)].track) {
        environment.insert(QLatin1StringView(encoders::protocol::kCueSheet), track->sheet);
        environment.insert(QLatin1StringView(encoders::protocol::kCueTrack),
                           QString::number(track->number));
    }
    if (whole_[std::size_t(index)])
        environment.insert(QLatin1StringView(encoders::protocol::kEncoderThreads),
                           QStringLiteral("1"));
    return environment;
}

LookAhead::~LookAhead() {
    // The current file keeps what its turn made of it, unless the batch passed it by.
    const bool taken = current_ < int(runs_.size()) && runs_[std::size_t(current_)].taken;
    putBack(false, taken ? current_ + 1 : current_);
}

void LookAhead::reach(int index) {
    for (; current_ < index && current_ < int(runs_.size()); ++current_) {
        // A file the batch passed by without its run (the encoder went missing meanwhile) is
        // left as if its program had never started.
        if (!runs_[std::size_t(current_)].taken)
            undo(current_);
        runs_[std::size_t(current_)] = {};
    }
    other_.reset();
    fill();
}

StartedEncoder& LookAhead::take(int index, const QString& program, const QString& commandLine,
                                bool merged) {
    const bool planned = index == current_ && index < int(runs_.size());
    if (planned && !merged) {
        Run& run = runs_[std::size_t(index)];
        if (!run.encoder)
            start(index, false, commandLine);
        run.taken = true;
        fill();
        return *run.encoder;
    }
    // The current file's program with its output shown, or a run the batch did not plan.
    if (planned) {
        undo(index);
        QFile::remove(loudnessFile(index));
    }
    other_ = std::make_unique<StartedEncoder>(
        program, commandLine, planned ? environmentFor(index) : environment_, merged);
    return *other_;
}

bool LookAhead::endedEarly(int index) const {
    if (index != current_ || index >= int(runs_.size()))
        return false;
    const Run& run = runs_[std::size_t(index)];
    return run.early && run.encoder->ended();
}

void LookAhead::checked(int index) {
    if (index >= current_ && index < int(runs_.size()))
        runs_[std::size_t(index)].kept.reset();
}

std::optional<LookAhead::Start> LookAhead::startedEarly(int index) const {
    if (index < current_ || index >= int(runs_.size()) || !runs_[std::size_t(index)].early)
        return std::nullopt;
    return runs_[std::size_t(index)].start;
}

void LookAhead::start(int index, bool early, const QString& commandLine) {
    Run& run = runs_[std::size_t(index)];
    const PlannedRun& plan = settings_.runs[std::size_t(index)];
    run.early = early;
    if (early)
        run.kept = std::make_unique<platform::KeptFile>(plan.writtenFile);
    run.start = {platform::modificationTime(plan.output), std::chrono::system_clock::now()};
    QFile::remove(loudnessFile(index));
    run.encoder = std::make_unique<StartedEncoder>(settings_.program, commandLine,
                                                   environmentFor(index), false);
    // Each program that has coded its file makes room for the next; this runs inside whichever
    // wait the batch is in, and must not throw into the event loop.
    const auto refill = [this] {
        try {
            fill();
        } catch (const std::exception&) {
            // The file then simply waits for its turn.
        }
    };
    connect(run.encoder.get(), &StartedEncoder::finished, this, refill);
    connect(run.encoder.get(), &StartedEncoder::codingEnded, this, refill);
}

bool LookAhead::mayStart(int index) const {
    const PlannedRun& plan = settings_.runs[std::size_t(index)];
    if (runs_[std::size_t(index)].encoder || !plan.early)
        return false;
    if (!settings_.beside)
        return true;
    // BladeEnc: alone in its folder, and not over an earlier file's MP3 still lying there.
    for (int i = current_; i < int(runs_.size()); ++i) {
        const PlannedRun& other = settings_.runs[std::size_t(i)];
        const Run& run = runs_[std::size_t(i)];
        // The current file runs, or is about to.
        const bool busy = running(run) || (i == current_ && !run.encoder);
        if (i != index && other.folder == plan.folder &&
            (busy || (i < index && other.writtenFile == plan.writtenFile)))
            return false;
    }
    return true;
}

void LookAhead::fill() {
    if (!settings_.early || stopped_ || (other_ && !other_->ended()))
        return;
    // The current file's program starts first: the progress window shows it running.
    if (current_ < int(runs_.size()) && !runs_[std::size_t(current_)].encoder)
        return;
    int busy = 0;
    for (const Run& run : runs_)
        busy += coding(run) ? 1 : 0;
    // One program more than there are slots: it starts up meanwhile and waits for a slot, which
    // it takes the moment a program finishes coding, before this thread has even seen that.
    const int most = settings_.programs + kWaitingForSlot;
    for (int i = current_ + 1; i < int(runs_.size()) && busy < most; ++i) {
        if (!mayStart(i)) {
            // A file that waits here starts when the batch reaches it, whatever else runs then:
            // its core is kept for it, so that later files never crowd it out.
            busy += runs_[std::size_t(i)].encoder ? 0 : 1;
            continue;
        }
        if (settings_.claim && !settings_.claim(i))
            continue; // another batch writes its output: this file waits for its turn
        if (!platform::fileExists(settings_.presence) || !platform::fileExists(settings_.program))
            return;
        start(i, true, settings_.runs[std::size_t(i)].commandLine);
        ++busy;
    }
}

void LookAhead::stopAll(int firstUnfinished) {
    putBack(true, firstUnfinished);
}

void LookAhead::putBack(bool waitGently, int from) {
    stopped_ = true;
    auto all = [this](auto&& each) {
        for (Run& run : runs_) {
            if (run.encoder)
                each(*run.encoder);
        }
        if (other_)
            each(*other_);
    };
    if (waitGently) {
        all([](StartedEncoder& encoder) { encoder.cancel(); });
        all([](StartedEncoder& encoder) { encoder.wait(); });
    }
    for (int i = std::max(from, current_); i < int(runs_.size()); ++i) {
        undo(i);
    }
}

void LookAhead::undo(int index) {
    Run& run = runs_[std::size_t(index)];
    // Killed, if it still runs. Whatever it left is put back as it was; a file that was not
    // there before is its own (no earlier file writes it, no other file starts early with it).
    run.encoder.reset();
    if (run.early && !(run.kept && run.kept->restore()))
        platform::deleteFile(settings_.runs[std::size_t(index)].writtenFile);
    run = {};
}

} // namespace encode
