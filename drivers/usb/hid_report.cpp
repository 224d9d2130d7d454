// HID report descriptor items, walked with their global and local state.
#include "drivers/usb/hid_report.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
const u16 kPageGenericDesktop = 0x01;
const u16 kPageButton = 0x09;

// Item prefix: bits 1-0 size (3 means four bytes), 3-2 type, 7-4 tag.
const u8 kLongItem = 0xFE;
const u8 kTypeMain = 0, kTypeGlobal = 1, kTypeLocal = 2;
// Main items.
const u8 kInput = 0x8, kCollection = 0xA, kEndCollection = 0xC;
const u32 kCollectionApplication = 1;
const u32 kInputConstant = 1 << 0, kInputVariable = 1 << 1, kInputRelative = 1 << 2;
// Global items.
const u8 kUsagePage = 0x0, kLogicalMinimum = 0x1, kLogicalMaximum = 0x2, kReportSize = 0x7,
         kReportId = 0x8, kReportCount = 0x9, kPush = 0xA, kPop = 0xB;
// Local items.
const u8 kUsage = 0x0, kUsageMinimum = 0x1, kUsageMaximum = 0x2;

const int kMaxUsages = 16;
const int kStackDepth = 4;

struct Globals {
    u32 page;
    i32 minimum;
    i32 maximum;
    u32 maximum_raw;   // as written, for ranges written unsigned
    u32 size;
    u32 count;
    u8 id;
};

bool of_interest(u32 usage) {
    if (usage >> 16 != kPageGenericDesktop) return false;
    u16 u = usage & 0xFFFF;
    return u == kUsagePointer || u == kUsageMouse || u == kUsageJoystick || u == kUsageGamePad;
}

class Parser {
public:
    explicit Parser(HidLayout* out) : out_(out) {}
    bool Run(const u8* d, u32 length);

private:
    void Main(u8 tag, u32 value);
    void Input(u32 flags);
    void Assign(u32 usage, const HidField& field);
    u32 UsageAt(u32 k) const;
    void ClearLocals() {
        usage_count_ = 0;
        have_range_ = false;
    }

    HidLayout* out_;
    Globals g_{};
    Globals stack_[kStackDepth] = {};
    int sp_ = 0;
    u32 usages_[kMaxUsages] = {};
    int usage_count_ = 0;
    u32 usage_min_ = 0, usage_max_ = 0;
    bool have_range_ = false;
    u16 offsets_[256] = {};     // input bits so far, per report ID
    int depth_ = 0;
    int app_depth_ = -1;        // depth of the application being read
    bool app_done_ = false;     // the first one of interest has ended
};

bool Parser::Run(const u8* d, u32 length) {
    for (u32 i = 0; i < length;) {
        u8 prefix = d[i];
        if (prefix == kLongItem) {
            if (i + 1 >= length) return false;
            i += 3 + d[i + 1];
            continue;
        }
        u32 size = prefix & 3;
        if (size == 3) size = 4;
        if (i + 1 + size > length) return false;
        u32 raw = 0;
        for (u32 k = 0; k < size; k++) raw |= static_cast<u32>(d[i + 1 + k]) << (8 * k);
        i32 value = size == 1 ? static_cast<i8>(raw) : size == 2 ? static_cast<i16>(raw) : static_cast<i32>(raw);
        u8 type = (prefix >> 2) & 3;
        u8 tag = prefix >> 4;
        i += 1 + size;
        if (type == kTypeMain) {
            Main(tag, raw);
            ClearLocals();
        } else if (type == kTypeGlobal) {
            switch (tag) {
            case kUsagePage: g_.page = raw & 0xFFFF; break;
            case kLogicalMinimum: g_.minimum = value; break;
            case kLogicalMaximum: g_.maximum = value; g_.maximum_raw = raw; break;
            case kReportSize: g_.size = raw; break;
            case kReportId:
                g_.id = static_cast<u8>(raw);
                out_->numbered_reports = true;
                break;
            case kReportCount: g_.count = raw; break;
            case kPush:
                if (sp_ == kStackDepth) return false;
                stack_[sp_++] = g_;
                break;
            case kPop:
                if (sp_ == 0) return false;
                g_ = stack_[--sp_];
                break;
            default: break;
            }
        } else if (type == kTypeLocal) {
            // A short usage takes the page that is current.
            u32 usage = size == 4 ? raw : (g_.page << 16 | raw);
            if (tag == kUsage && usage_count_ < kMaxUsages) usages_[usage_count_++] = usage;
            if (tag == kUsageMinimum) usage_min_ = usage, have_range_ = true;
            if (tag == kUsageMaximum) usage_max_ = usage;
        }
    }
    return out_->application != 0 &&
           ((out_->x.present && out_->y.present) || out_->hat.present);
}

void Parser::Main(u8 tag, u32 value) {
    if (tag == kInput) {
        Input(value);
    } else if (tag == kCollection) {
        depth_++;
        u32 usage = usage_count_ ? usages_[0] : 0;
        if (value == kCollectionApplication && app_depth_ < 0 && !app_done_ && of_interest(usage)) {
            app_depth_ = depth_;
            out_->application = usage & 0xFFFF;
        }
    } else if (tag == kEndCollection) {
        if (depth_ == app_depth_) {
            app_depth_ = -1;
            app_done_ = true;
        }
        if (depth_ > 0) depth_--;
    }
}

u32 Parser::UsageAt(u32 k) const {
    if (static_cast<int>(k) < usage_count_) return usages_[k];
    if (have_range_ && usage_min_ + (k - usage_count_) <= usage_max_) return usage_min_ + (k - usage_count_);
    return usage_count_ ? usages_[usage_count_ - 1] : 0;
}

void Parser::Input(u32 flags) {
    u16& offset = offsets_[g_.id];
    bool reading = app_depth_ >= 0 && !(flags & kInputConstant) && (flags & kInputVariable) &&
                   g_.size >= 1 && g_.size <= 32;
    for (u32 k = 0; reading && k < g_.count && k < 64; k++) {
        HidField f{};
        f.present = true;
        f.report_id = g_.id;
        f.bit_offset = static_cast<u16>(offset + k * g_.size);
        f.bit_size = static_cast<u8>(g_.size);
        f.minimum = g_.minimum;
        // A maximum written as an unsigned byte (0xFF for 255) over a
        // non-negative minimum means what it says.
        f.maximum = g_.minimum >= 0 && g_.maximum < g_.minimum ? static_cast<i32>(g_.maximum_raw) : g_.maximum;
        f.relative = flags & kInputRelative;
        Assign(UsageAt(k), f);
    }
    offset = static_cast<u16>(offset + g_.size * g_.count);
}

void Parser::Assign(u32 usage, const HidField& field) {
    u16 page = usage >> 16, id = usage & 0xFFFF;
    if (page == kPageGenericDesktop) {
        if (id == kUsageX && !out_->x.present) out_->x = field;
        if (id == kUsageY && !out_->y.present) out_->y = field;
        if (id == kUsageHatSwitch && !out_->hat.present) out_->hat = field;
    } else if (page == kPageButton && id >= 1 && id <= HidLayout::kMaxButtons) {
        if (!out_->buttons[id - 1].present) out_->buttons[id - 1] = field;
    }
}
}  // namespace

i32 HidLayout::Value(const HidField& field, const u8* report, u32 length) {
    if (!field.present) return 0;
    u32 start = 0;
    if (field.report_id) {
        if (length == 0 || report[0] != field.report_id) return 0;
        start = 8;
    }
    u32 first = start + field.bit_offset;
    if (first + field.bit_size > length * 8) return 0;
    u32 v = 0;
    for (u32 b = 0; b < field.bit_size; b++) {
        u32 bit = first + b;
        if (report[bit / 8] & (1 << (bit % 8))) v |= 1u << b;
    }
    if (field.minimum < 0 && field.bit_size < 32 && (v & (1u << (field.bit_size - 1))))
        v |= ~0u << field.bit_size;
    return static_cast<i32>(v);
}

bool parse_report_descriptor(const u8* data, u32 length, HidLayout* out) {
    *out = HidLayout();
    Parser p(out);
    return p.Run(data, length);
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn
