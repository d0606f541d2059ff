// Persisted properties: setters, first placement, loading and saving.
#include <cstdlib>
#include <limits>
#include <type_traits>

#include "cell_grid.h"
#include "grid_error.h"

namespace qelvaro::grid {
namespace {

void normalize(StoredProperties& p) {
  if (p.ColumnHeaderLines < 1) p.ColumnHeaderLines = 1;
}

std::int64_t toNumber(const PropertyValue& v) {
  if (const bool* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
  if (const std::int16_t* i = std::get_if<std::int16_t>(&v)) return *i;
  if (const std::int32_t* l = std::get_if<std::int32_t>(&v)) return *l;
  if (const std::string* s = std::get_if<std::string>(&v)) {
    char* end = nullptr;
    const long long n = std::strtoll(s->c_str(), &end, 10);
    if (!s->empty() && end && *end == '\0') return n;
  }
  throwTypeMismatch("property value is not a number");
}

bool toBool(const PropertyValue& v) {
  if (const std::string* s = std::get_if<std::string>(&v)) {
    if (*s == "True" || *s == "true" || *s == "TRUE") return true;
    if (*s == "False" || *s == "false" || *s == "FALSE") return false;
  }
  return toNumber(v) != 0;
}

std::string toText(const PropertyValue& v) {
  if (const std::string* s = std::get_if<std::string>(&v)) return *s;
  if (const bool* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
  if (std::holds_alternative<GridFont>(v)) throwTypeMismatch("property value is a font, not a text");
  return std::to_string(toNumber(v));
}

template <typename T>
T fromBag(const PropertyValue& v, BagKind kind) {
  if constexpr (std::is_same_v<T, std::string>) {
    return toText(v);
  } else if constexpr (std::is_same_v<T, bool>) {
    if (kind == BagKind::IntegerAbs) return toNumber(v) != 0;
    return toBool(v);
  } else {
    std::int64_t n = toNumber(v);
    const bool integer = kind == BagKind::Integer || kind == BagKind::IntegerAbs;
    const std::int64_t lo = integer ? INT16_MIN : INT32_MIN;
    const std::int64_t hi = integer ? INT16_MAX : (kind == BagKind::Colour ? UINT32_MAX : INT32_MAX);
    if (n < lo || n > hi) throwOverflow("property value out of range");
    if (kind == BagKind::LongAbs || kind == BagKind::IntegerAbs) {
      n = n < 0 ? -n : n;
      if (n > hi) throwOverflow("property value out of range");
    }
    if constexpr (std::is_same_v<T, Colour>) {
      return static_cast<Colour>(static_cast<std::uint32_t>(n));
    } else {
      if (n < std::numeric_limits<T>::min() || n > std::numeric_limits<T>::max())
        throwOverflow("property value out of range");
      return static_cast<T>(n);
    }
  }
}

template <typename T>
PropertyValue toBag(const T& value, BagKind kind) {
  switch (kind) {
    case BagKind::String:
      if constexpr (std::is_same_v<T, std::string>) return value;
      break;
    case BagKind::Bool:
      if constexpr (std::is_same_v<T, bool>) return value;
      break;
    case BagKind::IntegerAbs:
      // Kept the way a Boolean True is kept (-1), and read back as the absolute value.
      if constexpr (std::is_same_v<T, bool>) return static_cast<std::int16_t>(value ? -1 : 0);
      if constexpr (std::is_integral_v<T>) return static_cast<std::int16_t>(-value);
      break;
    case BagKind::Integer:
      if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) return static_cast<std::int16_t>(value);
      break;
    case BagKind::Colour:
    case BagKind::Long:
    case BagKind::LongAbs:
      if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
      break;
  }
  return PropertyValue{};
}

template <typename T>
T readKey(const PropertyBag& bag, const char* key, BagKind kind, const T& def) {
  const auto v = bag.ReadProperty(key);
  return v ? fromBag<T>(*v, kind) : def;
}

bool alwaysStored(std::string_view key) {
  return key == "ColumnHeaderSmall" || key == "TotalsLineShow" || key == "FocusRowHighlightKeepTextForecolor" ||
         key == "ShowRowNumbers" || key == "ShowRowNumbersVary";
}

GridFont readFont(const PropertyBag& bag, const char* key, const GridFont& def) {
  const auto v = bag.ReadProperty(key);
  if (!v) return def;
  if (const GridFont* f = std::get_if<GridFont>(&*v)) return *f;
  throwTypeMismatch("property value is not a font");
}

}  // namespace

void CellGrid::afterPropertySet(PropertyEffect effect, const char* notify) {
  if (notify) host_->PropertyChanged(notify);
  switch (effect) {
    case PropertyEffect::None:
    case PropertyEffect::Custom: break;
    case PropertyEffect::Paint: repaint(); break;
    case PropertyEffect::Refresh: refreshIfRedraw(); break;
    case PropertyEffect::Metrics:
      // At once, not only noted: rows added before drawing resumes take the new
      // default height.
      view_->CalcRowMetrics();
      refreshIfRedraw();
      break;
    case PropertyEffect::Scheme:
      view_->ApplyThemeColor();
      repaint();
      break;
    case PropertyEffect::Frame:
      view_->FrameChanged();
      refreshIfRedraw();
      break;
  }
}

// The generated setters: store, normalise, then the effect of the table. Custom
// ones are written out below.
#define QELVARO_GRID_SETTER_BODY(Name, Type, Effect, Notify) \
  void CellGrid::Set##Name(Type value) {                     \
    props_.Name = std::move(value);                          \
    normalize(props_);                                       \
    afterPropertySet(PropertyEffect::Effect, Notify);        \
  }
#define QELVARO_GRID_SETTER_None(Name, Type, Notify) QELVARO_GRID_SETTER_BODY(Name, Type, None, Notify)
#define QELVARO_GRID_SETTER_Paint(Name, Type, Notify) QELVARO_GRID_SETTER_BODY(Name, Type, Paint, Notify)
#define QELVARO_GRID_SETTER_Refresh(Name, Type, Notify) QELVARO_GRID_SETTER_BODY(Name, Type, Refresh, Notify)
#define QELVARO_GRID_SETTER_Metrics(Name, Type, Notify) QELVARO_GRID_SETTER_BODY(Name, Type, Metrics, Notify)
#define QELVARO_GRID_SETTER_Scheme(Name, Type, Notify) QELVARO_GRID_SETTER_BODY(Name, Type, Scheme, Notify)
#define QELVARO_GRID_SETTER_Frame(Name, Type, Notify) QELVARO_GRID_SETTER_BODY(Name, Type, Frame, Notify)
#define QELVARO_GRID_SETTER_Custom(Name, Type, Notify)
#define QELVARO_GRID_SETTER(Name, Type, Bag, Key, Default, Effect, Notify, Help) QELVARO_GRID_SETTER_##Effect(Name, Type, Notify)
QELVARO_GRID_PROPERTIES(QELVARO_GRID_SETTER)
#undef QELVARO_GRID_SETTER
#undef QELVARO_GRID_SETTER_Custom
#undef QELVARO_GRID_SETTER_Frame
#undef QELVARO_GRID_SETTER_Scheme
#undef QELVARO_GRID_SETTER_Metrics
#undef QELVARO_GRID_SETTER_Refresh
#undef QELVARO_GRID_SETTER_Paint
#undef QELVARO_GRID_SETTER_None
#undef QELVARO_GRID_SETTER_BODY

void CellGrid::SetThemeColor(std::int32_t value) {
  if (value == props_.ThemeColor) return;
  props_.ThemeColor = value;
  afterPropertySet(PropertyEffect::Scheme, "ThemeColor");
}

// Stored translated; the gradient follows them only under the custom scheme (5),
// which the view reads from here.
void CellGrid::SetThemeCustomColorFrom(Colour value) {
  props_.ThemeCustomColorFrom = view_->TranslateColour(value);
  afterPropertySet(PropertyEffect::Refresh, "ThemeColorFrom");
}

void CellGrid::SetThemeCustomColorTo(Colour value) {
  props_.ThemeCustomColorTo = view_->TranslateColour(value);
  afterPropertySet(PropertyEffect::Refresh, "ThemeColorTo");
}

void CellGrid::SetScrollBarStyle(std::int32_t value) {
  props_.ScrollBarStyle = value;
  host_->PropertyChanged("ScrollBarStyle");
  view_->ScrollBarStyleChanged();
  // The ranges of the bars attached afresh.
  refreshIfRedraw();
}

void CellGrid::SetFreezeAtCol(std::int32_t value) {
  props_.FreezeAtCol = value;
  host_->PropertyChanged("FreezeAtCol");
  view_->ApplyFreezeRule();
  refreshIfRedraw();
}

// The row-number column keeps its width while a cell is being edited, so the
// editor stays over its cell.
void CellGrid::SetShowRowNumbers(bool value) {
  if (edit_.pending) return;
  props_.ShowRowNumbers = value;
  afterPropertySet(PropertyEffect::Refresh, "ShowRowNumbers");
}

void CellGrid::SetShowRowNumbersVary(bool value) {
  if (edit_.pending) return;
  props_.ShowRowNumbersVary = value;
  afterPropertySet(PropertyEffect::Refresh, "ShowRowNumbersVary");
}

// Editing works on cells, so a grid that showed no current cell starts showing one:
// without it the cell-wise Delete could never be chosen.
void CellGrid::SetAllowEdit(bool value) {
  props_.AllowEdit = value;
  host_->PropertyChanged("Editable");
  if (value && props_.FocusRectMode == 0) SetFocusRectMode(2);
}

void CellGrid::SetEnabled(bool value) {
  props_.Enabled = value;
  inputEnabled_ = value;
  host_->PropertyChanged("Enabled");
  view_->FrameChanged();
  repaint();
}

void CellGrid::SetMinRowHeight(std::int32_t value) {
  props_.MinRowHeight = value;
  host_->PropertyChanged("MinRowHeight");
  metricsFromZero();
}

void CellGrid::SetMinVerticalOffset(std::int32_t value) {
  props_.MinVerticalOffset = value;
  host_->PropertyChanged("MinVerticalOffset");
  metricsFromZero();
}

// The default row height is cleared before the pass, so the check box of that pass
// is sized from nothing; the refresh that follows (now, or when drawing resumes)
// runs the pass again and settles it.
void CellGrid::metricsFromZero() {
  const std::int32_t before = rowHeightDefault_;
  rowHeightDefault_ = 0;
  try {
    view_->CalcRowMetrics();
  } catch (const GridError&) {
    rowHeightDefault_ = before;  // an overflowing pass reaches the caller, rows keep their height
    throw;
  }
  // A grid without a view measures nothing and keeps the height it had.
  if (rowHeightDefault_ == 0) rowHeightDefault_ = before;
  refreshIfRedraw();
}

void CellGrid::SetFont(const GridFont& font) {
  props_.Font = font;
  afterPropertySet(PropertyEffect::Metrics, "Font");
}

void CellGrid::SetFontHeader(const GridFont& font) {
  props_.FontHeader = font;
  afterPropertySet(PropertyEffect::Metrics, "FontHeader");
}

void CellGrid::InitProperties() {
  props_ = StoredProperties{};
  props_.AllowColumnResizing = true;
  props_.ShowRowNumbersVary = false;
  props_.Font = host_->AmbientFont();
  props_.FontHeader = host_->AmbientFont();
  inputEnabled_ = props_.Enabled;
  redraw_ = drawing_ = false;
  view_->PropertiesLoaded();
}

void CellGrid::ReadProperties(const PropertyBag& bag) {
  // Loaded into a copy first, so a bad value leaves the grid as it was.
  StoredProperties loaded = props_;
#define QELVARO_GRID_READ(Name, Type, Bag, Key, Default, Effect, Notify, Help) \
  loaded.Name = readKey<Type>(bag, Key, BagKind::Bag, Type(Default));
  QELVARO_GRID_PROPERTIES(QELVARO_GRID_READ)
#undef QELVARO_GRID_READ
  const GridFont ambient = host_->AmbientFont();
  loaded.Font = readFont(bag, "Font", ambient);
  loaded.FontHeader = readFont(bag, "FontHeader", ambient);
  normalize(loaded);
  props_ = std::move(loaded);
  inputEnabled_ = props_.Enabled;
  // On a live window the loaded values take effect now, as their setters would.
  view_->PropertiesLoaded();
  refreshIfRedraw();
}

void CellGrid::WriteProperties(PropertyBag& bag) const {
  bag.WriteProperty("Font", props_.Font);
  bag.WriteProperty("FontHeader", props_.FontHeader);
#define QELVARO_GRID_WRITE(Name, Type, Bag, Key, Default, Effect, Notify, Help) \
  if (alwaysStored(Key) || props_.Name != Type(Default)) bag.WriteProperty(Key, toBag<Type>(props_.Name, BagKind::Bag));
  QELVARO_GRID_PROPERTIES(QELVARO_GRID_WRITE)
#undef QELVARO_GRID_WRITE
}

std::string_view PropertyHelp(std::string_view name) {
  struct Entry {
    std::string_view name;
    const char* help;
  };
  static constexpr Entry kEntries[] = {
#define QELVARO_GRID_STORED_HELP(Name, Type, Bag, Key, Default, Effect, Notify, Help) {#Name, Help},
      QELVARO_GRID_PROPERTIES(QELVARO_GRID_STORED_HELP)
#undef QELVARO_GRID_STORED_HELP
#define QELVARO_GRID_RUNTIME_ENTRY(Name, Help) {#Name, Help},
      QELVARO_GRID_RUNTIME_HELP(QELVARO_GRID_RUNTIME_ENTRY)
#undef QELVARO_GRID_RUNTIME_ENTRY
  };
  for (const Entry& e : kEntries)
    if (e.name == name) return e.help ? e.help : std::string_view();
  return {};
}

}  // namespace qelvaro::grid
