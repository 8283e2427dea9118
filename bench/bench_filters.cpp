// The three image filters on 1080p frames, on one thread and on all cores, beside
// the ffmpeg command line's filters that do the same per-pixel work: colorkey (one distance to
// the key colour per pixel, on BGRA like ours), removegrain=4 (the 3x3 median, on all four
// planes of YUVA 4:4:4) and avgblur (the same box average, radius 10, on all four planes), each
// reading its input in the pixel format it works in, so nothing is converted. Prints our time
// per frame, ffmpeg's (its run minus a pass-through run of the same input, so reading the input
// is not counted) and the ratio. Each runs on two kinds of frame: a presenter before a mostly flat
// green screen (camera:0), and camera-like frames as the take benchmark records them, testsrc2
// under sensor noise (camera:1), whose colours spread over the whole range: a colour table's cost
// depends on how many of its cells the picture reaches. The key alone also runs on frames whose
// every pixel lies on its edge (camera:2), between the colours it clears and those it keeps: a
// presenter in green clothes or a screen lit with spill, where each pixel takes the blend.
#include <benchmark/benchmark.h>

#include <QImage>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>

#include "Filters/ChromaKey/chromaKeyClass.h"
#include "platform/imaging/bands.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/colour_cube.h"
#include "platform/imaging/filter_chain.h"
#include "platform/imaging/filters.h"
#include "platform/imaging/median.h"

using namespace qrn::imaging;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kPeerFrames = 30;
constexpr double kBlurRadius = 10;

// A presenter in front of a lit green screen: smooth shading, skin, a striped shirt, a
// textured wall and sensor noise, so no two neighbouring pixels are quite alike.
const Image& greenScreenFrame() {
    static const Image frame = [] {
        Image img(kWidth, kHeight);
        std::uint32_t seed = 12345;
        auto noise = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return static_cast<int>((seed >> 24) % 13) - 6;
        };
        auto clampByte = [](double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); };
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const double u = x / double(kWidth), v = y / double(kHeight);
                double r, g, b;
                if (u < 0.55) {
                    // Green screen with a hot spot and falloff towards the corners.
                    const double light =
                        0.75 + 0.25 * std::exp(-((u - 0.3) * (u - 0.3) + (v - 0.4) * (v - 0.4)) * 6);
                    r = 30 * light, g = 200 * light, b = 60 * light;
                } else {
                    // A plastered wall.
                    const double tex =
                        12 * std::sin(x * 0.05) * std::sin(y * 0.07) + 8 * std::sin(x * 0.013 + y * 0.02);
                    r = 190 + tex - 40 * v, g = 175 + tex - 40 * v, b = 150 + tex - 30 * v;
                }
                const double hx = (u - 0.5) / 0.09, hy = (v - 0.35) / 0.16;
                const double sx = (u - 0.5) / 0.25, sy = (v - 1.0) / 0.35;
                if (hx * hx + hy * hy < 1) {
                    const double shade = 0.8 + 0.2 * (1 - hx * hx - hy * hy);
                    r = 225 * shade, g = 175 * shade, b = 150 * shade;
                } else if (sx * sx + sy * sy < 1) {
                    const bool stripe = (x / 14 + y / 40) % 2 == 0;
                    r = stripe ? 40 : 200, g = stripe ? 60 : 200, b = stripe ? 120 : 210;
                }
                img.setPixel(x, y,
                             {clampByte(r + noise()), clampByte(g + noise()), clampByte(b + noise()), 255});
            }
        return img;
    }();
    return frame;
}

constexpr int kCameraFrames = 8;

// The export's camera picture: the test camera's 720p picture under sensor noise, in 4:2:0 as
// the camera gives it, scaled up to 1080p. Colours everywhere on the hue circle and no two
// neighbouring pixels alike, unlike the staged green screen. Made by ffmpeg as BGRA; none when
// ffmpeg cannot make them.
const std::vector<Image>& cameraLikeFrames() {
    static const std::vector<Image> frames = [] {
        std::vector<Image> out;
        const auto path = std::filesystem::temp_directory_path() /
                          ("qrn_bench_camera_" + std::to_string(getpid()) + ".bgra");
        const std::string command =
            "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
            "testsrc2=size=1280x720:rate=30,noise=alls=14:allf=t+u,format=yuv420p,scale=" +
            std::to_string(kWidth) + ":" + std::to_string(kHeight) + ",format=bgra -frames:v " +
            std::to_string(kCameraFrames) + " -f rawvideo '" + path.string() + "'";
        if (std::system(command.c_str()) == 0) {
            std::ifstream in(path, std::ios::binary);
            for (int i = 0; i < kCameraFrames && in; ++i) {
                Image img(kWidth, kHeight);
                const ImageView v = img.mutableView();
                for (int y = 0; y < kHeight && in; ++y)
                    in.read(reinterpret_cast<char*>(v.row(y)), 4 * kWidth);
                if (in)
                    out.push_back(std::move(img));
            }
        }
        std::filesystem::remove(path);
        return out;
    }();
    return frames;
}

std::shared_ptr<const ColourCube> keyCube(double range = 10);

// Frames of opaque colours picked at random from those in the key's edge cells (some corners
// clear, some kept), where the result depends on the colour and not only on its cell.
const std::vector<Image>& edgeFrames() {
    static const std::vector<Image> frames = [] {
        const auto cube = keyCube();
        const int n = cube->dimension(), m = n - 1;
        int cell[256];
        for (int v = 0; v < 256; ++v)
            cell[v] = ColourCubeRows::opaqueCell(v, n);
        std::vector<std::uint8_t> kept(static_cast<std::size_t>(m) * m * m);
        for (int b = 0; b < m; ++b)
            for (int g = 0; g < m; ++g)
                for (int r = 0; r < m; ++r)
                    for (int corner = 0; corner < 8; ++corner)
                        kept[r + m * (g + m * b)] += cube->entry(r + (corner & 1), g + (corner >> 1 & 1),
                                                                 b + (corner >> 2))[3] == 1.0f;
        std::vector<std::uint32_t> edge;
        for (int b = 0; b < 256; ++b)
            for (int g = 0; g < 256; ++g)
                for (int r = 0; r < 256; ++r) {
                    const int k = kept[cell[r] + m * (cell[g] + m * cell[b])];
                    if (k != 0 && k != 8)
                        edge.push_back(std::uint32_t(r) | std::uint32_t(g) << 8 | std::uint32_t(b) << 16);
                }
        std::vector<Image> out;
        std::uint32_t seed = 777;
        for (int i = 0; i < kCameraFrames; ++i) {
            Image img(kWidth, kHeight);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    const std::uint32_t c = edge[(seed >> 8) % edge.size()];
                    img.setPixel(x, y, {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16), 255});
                }
            out.push_back(std::move(img));
        }
        return out;
    }();
    return frames;
}

// The frames of a kind: the green screen alone (0), the camera-like ones (1) or the key's
// edge (2).
std::vector<const Image*> framesOfKind(int kind) {
    std::vector<const Image*> frames;
    if (kind == 0)
        frames.push_back(&greenScreenFrame());
    else
        for (const Image& f : kind == 1 ? cameraLikeFrames() : edgeFrames())
            frames.push_back(&f);
    return frames;
}

// The frames a benchmark cycles through.
std::vector<const Image*> framesOf(benchmark::State& state, int kind) {
    std::vector<const Image*> frames = framesOfKind(kind);
    if (frames.empty())
        state.SkipWithError("no camera-like frames (is ffmpeg installed?)");
    return frames;
}

std::shared_ptr<const ColourCube> keyCube(double range) {
    auto result = chromaKeyClass().chromaKeyFilter(qrn::Value(), {32.0, 255.0, 0.0, 1.0}, 0, 0, true, range);
    auto filter =
        std::dynamic_pointer_cast<ColourCubeFilter>(std::get<qrn::graphics::ContentFilterPtr>(*result));
    return filter->cube();
}

int allCores() {
    return defaultThreadCount();
}

void BM_ChromaKey(benchmark::State& state) {
    const auto frames = framesOf(state, int(state.range(1)));
    const auto cube = keyCube();
    Image dst = makeLike(greenScreenFrame());
    const ImageView d = dst.mutableView();
    size_t i = 0;
    for (auto _ : state) {
        const Image& src = *frames[i++ % frames.size()];
        forEachBand(kHeight, state.range(0),
                    [&](int b, int e) { applyColourCube(*cube, src.view(), d, b, e); });
    }
}

// The key on one thread with each set of vector instructions this processor has (0 those every
// x86-64 has, 1 AVX2, 2 AVX-512): the same bytes from each.
void BM_ChromaKeyKernels(benchmark::State& state) {
    const auto frames = framesOf(state, int(state.range(1)));
    const auto kernels = ColourCubeRows::Kernels(state.range(0));
    if (kernels > ColourCubeRows::widest()) {
        state.SkipWithError("not on this processor");
        return;
    }
    const auto cube = keyCube();
    Image dst = makeLike(greenScreenFrame());
    const ImageView d = dst.mutableView();
    const ColourCubeRows rows(*cube, ChannelOrder::BGRA, d.order, kernels);
    size_t i = 0;
    for (auto _ : state) {
        const ConstImageView src = frames[i++ % frames.size()]->view();
        for (int y = 0; y < kHeight; ++y)
            rows(src.row(y), d.row(y), kWidth);
    }
}

void BM_ChromaKeyTableBuild(benchmark::State& state) {
    double range = 10;
    for (auto _ : state) {
        // A new range each time, so the kept table never answers.
        range = range == 10 ? 11 : 10;
        benchmark::DoNotOptimize(keyCube(range));
    }
}

void BM_BoxBlur(benchmark::State& state) {
    const auto frames = framesOf(state, int(state.range(1)));
    Image dst = makeLike(greenScreenFrame());
    const ImageView d = dst.mutableView();
    size_t i = 0;
    for (auto _ : state) {
        const Image& src = *frames[i++ % frames.size()];
        forEachBand(kHeight, state.range(0),
                    [&](int b, int e) { boxBlur(src.view(), d, kBlurRadius, b, e); });
    }
}

void BM_Median(benchmark::State& state) {
    const auto frames = framesOf(state, int(state.range(1)));
    Image dst = makeLike(greenScreenFrame());
    const ImageView d = dst.mutableView();
    size_t i = 0;
    for (auto _ : state) {
        const Image& src = *frames[i++ % frames.size()];
        forEachBand(kHeight, state.range(0), [&](int b, int e) { median3x3(src.view(), d, b, e); });
    }
}

// The live picture's worst case: all three filters on one frame, as the renderer runs a
// layer's content filters.
void BM_AllThree(benchmark::State& state) {
    const QImage src = greenScreenFrame().toQImage();
    const int threads = static_cast<int>(state.range(0));
    auto key = std::make_shared<ColourCubeFilter>(keyCube());
    auto blur = std::make_shared<BoxBlurFilter>(kBlurRadius);
    auto median = std::make_shared<MedianFilter>();
    const std::vector<qrn::graphics::ContentFilterPtr> filters{key, blur, median};
    for (ImageFilter* f : std::initializer_list<ImageFilter*>{key.get(), blur.get(), median.get()})
        f->setThreadCount(threads);
    for (auto _ : state) {
        QImage out = applyContentFilters(filters, src);
        benchmark::DoNotOptimize(out.constBits());
    }
}

// A filter of a layer's picture drawn at a tenth of `scale10` times its own size, as the renderer
// runs it. The median: at up to one and a half on the frame itself, larger on the picture at its
// own size, drawn up again. The blur: a box of the same share of the picture at every size, between
// two whole sizes where the drawn size falls between them.
void runDrawnAt(benchmark::State& state, const std::shared_ptr<ImageFilter>& filter) {
    const QImage src = greenScreenFrame().toQImage();
    const double scale = double(state.range(0)) / 10;
    filter->setOwnSize(QSize(int(std::lround(src.width() / scale)), int(std::lround(src.height() / scale))));
    const std::vector<qrn::graphics::ContentFilterPtr> filters{filter};
    for (auto _ : state) {
        QImage out = applyContentFilters(filters, src);
        benchmark::DoNotOptimize(out.constBits());
    }
}
void BM_MedianDrawnAt(benchmark::State& state) {
    runDrawnAt(state, std::make_shared<MedianFilter>());
}
void BM_BlurDrawnAt(benchmark::State& state) {
    runDrawnAt(state, std::make_shared<BoxBlurFilter>(kBlurRadius));
}

void threadArgs(benchmark::internal::Benchmark* b, std::initializer_list<int> kinds) {
    b->ArgNames({"threads", "camera"});
    for (int kind : kinds) {
        b->Args({1, kind});
        if (allCores() > 1)
            b->Args({allCores(), kind});
    }
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

void keyArgs(benchmark::internal::Benchmark* b) {
    threadArgs(b, {0, 1, 2});
}
void filterArgs(benchmark::internal::Benchmark* b) {
    threadArgs(b, {0, 1});
}

BENCHMARK(BM_ChromaKey)->Apply(keyArgs);
BENCHMARK(BM_ChromaKeyKernels)
    ->ArgNames({"kernels", "camera"})
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ChromaKeyTableBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxBlur)->Apply(filterArgs);
BENCHMARK(BM_Median)->Apply(filterArgs);
BENCHMARK(BM_AllThree)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MedianDrawnAt)
    ->ArgName("scale10")
    ->Arg(10)
    ->Arg(15)
    ->Arg(18)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BlurDrawnAt)
    ->ArgName("scale10")
    ->Arg(2)
    ->Arg(5)
    ->Arg(10)
    ->Arg(15)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Remembers each benchmark's real time per iteration in milliseconds.
class recordingReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
        // The median of repetitions when there are any, else the one run.
        for (const Run& run : runs)
            if (!run.error_occurred &&
                (run.run_type == Run::RT_Iteration ||
                 (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")))
                ms[run.run_name.str()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

double seconds(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const auto end = std::chrono::steady_clock::now();
    if (status != 0)
        return NAN;
    return std::chrono::duration<double>(end - start).count();
}

// ffmpeg's milliseconds per frame for one filter on a file of `framesInFile` raw frames of
// `pixelFormat`, looped to some kPeerFrames, with `threads` 1 or 0 (its default).
double ffmpegPerFrame(const std::string& input, int framesInFile, const std::string& pixelFormat,
                      const std::string& filter, int threads) {
    const std::string threading = threads == 1 ? " -threads 1 -filter_threads 1" : "";
    const int loops = std::max(1, (kPeerFrames + framesInFile - 1) / framesInFile);
    auto run = [&](const std::string& vf) {
        return seconds("ffmpeg -hide_banner -loglevel error -nostdin" + threading + " -stream_loop " +
                       std::to_string(loops - 1) + " -f rawvideo -pix_fmt " + pixelFormat + " -s " +
                       std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -i " + input + " -vf " +
                       vf + " -f null -");
    };
    const double passThrough = run("null");
    const double filtered = run(filter);
    return (filtered - passThrough) * 1000 / (loops * framesInFile);
}

void comparePeers(const std::map<std::string, double>& ours) {
    if (std::system("ffmpeg -hide_banner -loglevel error -version > /dev/null 2>&1") != 0) {
        std::printf("\nffmpeg not found: no comparison\n");
        return;
    }
    const auto dir =
        std::filesystem::temp_directory_path() / ("qrn_bench_filters_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    std::printf("\nsome %d frames of %s; ms per frame (ffmpeg: minus its pass-through run)\n", kPeerFrames,
                size.c_str());
    std::printf("%-14s %-8s %-20s %-8s %10s %10s %10s\n", "filter", "frames", "ffmpeg peer", "threads",
                "ours", "ffmpeg", "ffmpeg/us");
    for (int kind : {0, 1, 2}) {
        // The same frames as ffmpeg's input, in BGRA and in four full planes.
        const std::vector<const Image*> frames = framesOfKind(kind);
        if (frames.empty())
            continue;
        static const char* const kindNames[] = {"green", "camera", "edge"};
        const std::string stem = (dir / kindNames[kind]).string();
        const std::string bgra = stem + ".bgra", yuva = stem + ".yuva";
        {
            std::ofstream out(bgra, std::ios::binary);
            for (const Image* f : frames) {
                const ConstImageView v = f->view();
                for (int y = 0; y < kHeight; ++y)
                    out.write(reinterpret_cast<const char*>(v.row(y)), 4 * kWidth);
            }
        }
        if (std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y -f rawvideo -pix_fmt bgra -s " +
                         size + " -i " + bgra + " -f rawvideo -pix_fmt yuva444p " + yuva)
                            .c_str()) != 0) {
            std::printf("ffmpeg could not convert the frames: no comparison\n");
            continue;
        }
        struct peer {
            const char* label;
            const char* ourName;
            std::string input, pixelFormat, filter;
        };
        const peer peers[] = {
            {"chroma key", "BM_ChromaKey", bgra, "bgra", "colorkey=color=0x20FF00:similarity=0.1:blend=0.05"},
            {"box blur r10", "BM_BoxBlur", yuva, "yuva444p", "avgblur=sizeX=10:sizeY=10:planes=15"},
            {"median 3x3", "BM_Median", yuva, "yuva444p", "removegrain=m0=4:m1=4:m2=4:m3=4"},
        };
        for (const peer& p : peers)
            for (int threads : {1, 0}) {
                if (kind == 2 && p.ourName != std::string("BM_ChromaKey"))
                    continue;
                const std::string name = std::string(p.ourName) +
                                         "/threads:" + std::to_string(threads == 1 ? 1 : allCores()) +
                                         "/camera:" + std::to_string(kind) + "/real_time";
                const auto it = ours.find(name);
                const double mine = it == ours.end() ? NAN : it->second;
                const double theirs =
                    ffmpegPerFrame(p.input, int(frames.size()), p.pixelFormat, p.filter, threads);
                const std::string peerName = p.filter.substr(0, p.filter.find('=')) + " " + p.pixelFormat;
                std::printf("%-14s %-8s %-20s %-8s %10.2f %10.2f %10.2f\n", p.label, kindNames[kind],
                            peerName.c_str(), threads == 1 ? "1" : "all", mine, theirs, theirs / mine);
            }
    }
    std::filesystem::remove_all(dir);
}

// Seconds a plain arithmetic loop takes on one thread and split over two: what the cores we run
// on give a second thread right now (others' work on the same cores takes its share).
std::pair<double, double> plainLoopSeconds() {
    static volatile double sink;
    auto work = [](long n) {
        double s = 0;
        for (long i = 0; i < n; ++i)
            s += static_cast<double>(i) * 1e-9;
        sink = s;
    };
    constexpr long n = 100'000'000;
    auto time = [](const auto& fn) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const double one = time([&] { work(n); });
    const double two = time([&] {
        std::thread other(work, n / 2);
        work(n / 2);
        other.join();
    });
    return {one, two};
}

// The three filters together: their time on two threads and how much the second thread gains,
// beside what it gains a plain loop on the same cores.
void reportScaling(const std::map<std::string, double>& ours) {
    const auto one = ours.find("BM_AllThree/1/real_time"), two = ours.find("BM_AllThree/2/real_time");
    if (one == ours.end() || two == ours.end())
        return;
    const auto [loopOne, loopTwo] = plainLoopSeconds();
    std::printf("\na plain loop on the same cores: scaling %.2fx from 1 to 2 threads\n", loopOne / loopTwo);
    std::printf(
        "all three filters: %.2f ms on 1 thread, %.2f ms on 2 (goal <= 8), scaling %.2fx (goal >= 1.8)\n",
        one->second, two->second, one->second / two->second);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    recordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reportScaling(reporter.ms);
    comparePeers(reporter.ms);
    benchmark::Shutdown();
    return 0;
}
