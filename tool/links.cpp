#include "links.h"

#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace {

// qpdf makes a new null object, with a description, for every key it does not find; what is
// read of every annotation asks first.
QPDFObjectHandle optionalKey(QPDFObjectHandle dict, const char *key)
{
    return dict.hasKey(key) ? dict.getKey(key) : QPDFObjectHandle();
}

// A number of the file: integers read as they are, reals from their text (faster than
// qpdf's general conversion, and done for every coordinate of every annotation).
bool numberOf(QPDFObjectHandle item, double &value)
{
    if (item.isInteger()) {
        value = double(item.getIntValue());
        return true;
    }
    if (!item.isReal())
        return false;
    const std::string text = item.getRealValue();
    const char *first = text.data(), *last = text.data() + text.size();
    const bool negative = first != last && *first == '-';
    if (first != last && (*first == '-' || *first == '+'))
        ++first;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last)
        return item.getValueAsNumber(value);  // an odd form: qpdf knows best
    if (negative)
        value = -value;
    return std::isfinite(value);
}

bool rectOf(QPDFObjectHandle annot, Box &box)
{
    QPDFObjectHandle rect = optionalKey(annot, "/Rect");
    if (!rect.isInitialized() || !rect.isArray() || rect.getArrayNItems() != 4)
        return false;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        if (!numberOf(rect.getArrayItem(i), v[i]))
            return false;
    }
    box = {std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]), std::max(v[1], v[3])};
    return true;
}

double numberOr(QPDFObjectHandle item, double fallback)
{
    return item.isNumber() ? item.getNumericValue() : fallback;
}

// A number with the decimals its use needs; an integer where it has none.
QPDFObjectHandle real(double v, int decimals)
{
    const std::string s = pdfNumber(v, decimals);
    long long integer = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), integer);
    if (ec == std::errc() && ptr == s.data() + s.size())
        return QPDFObjectHandle::newInteger(integer);
    return QPDFObjectHandle::newReal(s);
}

QPDFObjectHandle rectangle(const Box &b, int decimals)
{
    return QPDFObjectHandle::newArray({real(b.x0, decimals), real(b.y0, decimals), real(b.x1, decimals), real(b.y1, decimals)});
}

// Writes an annotation's rectangle: into its own array where that is no shared object.
void setRect(QPDFObjectHandle annot, const Box &b, int decimals)
{
    QPDFObjectHandle rect = optionalKey(annot, "/Rect");
    if (!rect.isInitialized() || rect.isIndirect() || !rect.isArray() || rect.getArrayNItems() != 4) {
        annot.replaceKey("/Rect", rectangle(b, decimals));
        return;
    }
    const double v[4] = {b.x0, b.y0, b.x1, b.y1};
    for (int i = 0; i < 4; ++i)
        rect.setArrayItem(i, real(v[i], decimals));
}

// Every item of the document's outline, each once (a damaged outline may loop).
void forEachBookmark(QPDF &pdf, const std::function<void(QPDFObjectHandle)> &visit)
{
    QPDFObjectHandle outlines = pdf.getRoot().getKey("/Outlines");
    if (!outlines.isDictionary())
        return;
    std::set<QPDFObjGen> seen;
    std::vector<QPDFObjectHandle> todo{outlines.getKey("/First")};
    while (!todo.empty()) {
        QPDFObjectHandle item = todo.back();
        todo.pop_back();
        if (!item.isDictionary() || (item.isIndirect() && !seen.insert(item.getObjGen()).second))
            continue;
        visit(item);
        todo.push_back(item.getKey("/Next"));
        todo.push_back(item.getKey("/First"));
    }
}

// An annotation in words, for what could not be kept: "a link on page 3".
std::string describe(QPDFObjectHandle annot, int pageIndex)
{
    QPDFObjectHandle subtype = annot.getKey("/Subtype");
    std::string kind = subtype.isName() ? subtype.getName().substr(1) : std::string("an");
    if (kind == "Link")
        kind = "link";
    else if (kind == "Widget")
        kind = "form field";
    else
        kind += " annotation";
    const bool vowel = std::string("AEIOUaeiou").find(kind[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + kind + " on page " + std::to_string(pageIndex + 1);
}

// The name of a named destination, whether written as a name or as a string.
std::string destinationName(QPDFObjectHandle dest)
{
    return dest.isName() ? dest.getName().substr(1) : dest.getUTF8Value();
}

bool isGoTo(QPDFObjectHandle action)
{
    return action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo");
}

} // namespace

LinkKeeper::LinkKeeper(QPDF &pdf, const std::vector<QPDFObjectHandle> &pages) : m_pdf(pdf), m_pages(pages)
{
    m_annots.reserve(pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        QPDFObjectHandle page = pages[i];
        if (!page.isInitialized()) {  // a page that is not drawn here
            m_annots.emplace_back();
            continue;
        }
        m_pageIndex.emplace(page.getObjGen(), int(i));
        QPDFObjectHandle annots = page.isDictionary() ? optionalKey(page, "/Annots") : QPDFObjectHandle();
        const bool any = annots.isInitialized() && annots.isArray() && annots.getArrayNItems() > 0;
        m_annots.push_back(any ? annots : QPDFObjectHandle());
    }
}

void LinkKeeper::place(int pageIndex, const Placement &placement)
{
    const bool firstTime = m_first.emplace(pageIndex, placement).second;
    QPDFObjectHandle annots = m_annots.at(size_t(pageIndex));
    if (!annots.isInitialized())
        return;
    const std::vector<Placed> placed = firstTime ? moved(annots, placement) : copied(annots, pageIndex, placement);
    putOnSheet(placed, pageIndex, placement);
}

void LinkKeeper::placeParts(int pageIndex, const std::vector<Placement> &parts)
{
    if (parts.empty())
        return;
    m_first.emplace(pageIndex, parts.front());
    m_parts[pageIndex] = parts;
    QPDFObjectHandle annots = m_annots.at(size_t(pageIndex));
    if (!annots.isInitialized())
        return;
    // Each annotation to the part holding most of it; a point (or a line) to the part it lies in.
    const auto partOf = [&parts](const Box &rect) {
        int best = -1;
        double most = -1;
        for (size_t i = 0; i < parts.size(); ++i) {
            const Box cut = intersection(rect, parts[i].visible);
            if (!(cut.width() >= 0) || !(cut.height() >= 0))
                continue;
            const double area = std::max(cut.width(), 1e-9) * std::max(cut.height(), 1e-9);
            if (area > most) {
                most = area;
                best = int(i);
            }
        }
        return best;
    };
    std::vector<QPDFObjectHandle> groups(parts.size());
    std::map<QPDFObjGen, int> partOfNote;
    std::vector<QPDFObjectHandle> popups;
    for (QPDFObjectHandle annot : annots.aitems()) {
        if (!annot.isDictionary() || m_moved.count(annot.getObjGen()))
            continue;
        if (annot.getKey("/Subtype").isNameAndEquals("/Popup")) {
            popups.push_back(annot);
            continue;
        }
        Box rect;
        const int part = rectOf(annot, rect) ? partOf(rect) : -1;
        if (part < 0) {
            m_moved.insert(annot.getObjGen());
            m_dropped.push_back(describe(annot, pageIndex) + " outside every part of the page shown");
            continue;
        }
        partOfNote[annot.getObjGen()] = part;
        if (!groups[size_t(part)].isInitialized())
            groups[size_t(part)] = QPDFObjectHandle::newArray();
        groups[size_t(part)].appendItem(annot);
    }
    for (QPDFObjectHandle popup : popups) {
        QPDFObjectHandle parent = popup.getKey("/Parent");
        const auto found = parent.isIndirect() ? partOfNote.find(parent.getObjGen()) : partOfNote.end();
        Box rect;
        const int part = found != partOfNote.end() ? found->second : rectOf(popup, rect) ? partOf(rect) : -1;
        if (part < 0)
            continue;  // a window whose note is not kept: nothing opens it
        if (!groups[size_t(part)].isInitialized())
            groups[size_t(part)] = QPDFObjectHandle::newArray();
        groups[size_t(part)].appendItem(popup);
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        if (groups[i].isInitialized())
            putOnSheet(moved(groups[i], parts[i]), pageIndex, parts[i]);
    }
}

std::vector<LinkKeeper::Placed> LinkKeeper::moved(QPDFObjectHandle annots, const Placement &placement)
{
    // The page's own annotations move with it: no copies, and form fields stay the same
    // objects with their names and values.
    std::vector<Placed> placed;
    for (QPDFObjectHandle annot : annots.aitems()) {
        if (!annot.isDictionary() || !m_moved.insert(annot.getObjGen()).second)
            continue;
        moveAnnotation(annot, placement);
        Box rect;
        if (rectOf(annot, rect))
            placed.push_back({annot, placement.cm.apply(rect), false});
    }
    return placed;
}

std::vector<LinkKeeper::Placed> LinkKeeper::copied(QPDFObjectHandle annots, int pageIndex, const Placement &placement)
{
    // A page placed again gets copies of its annotations, taken from where the first
    // placement put them. Where the page only moves (the common case, as in step and
    // repeat), a copy is the annotation's dictionary with its points moved (what it
    // shares with the original is never changed in place: what moves is replaced); form fields,
    // which must be renamed, and pages that turn, whose appearances must turn, go
    // through qpdf's general copy.
    std::vector<Placed> placed;
    const Matrix relative = m_first.at(pageIndex).cm.inverted().then(placement.cm);
    const bool moveOnly = Matrix{relative.a, relative.b, relative.c, relative.d, 0, 0}.isUprightScale();
    QPDFObjectHandle general = QPDFObjectHandle::newArray();
    for (QPDFObjectHandle annot : annots.aitems()) {
        if (!annot.isDictionary())
            continue;
        QPDFObjectHandle subtype = annot.getKey("/Subtype");
        if (!moveOnly || subtype.isNameAndEquals("/Widget")) {
            general.appendItem(annot);
            continue;
        }
        if (subtype.isNameAndEquals("/Popup"))
            continue;  // a note's window: the copy of the note opens one of its own
        QPDFObjectHandle copy = m_pdf.makeIndirectObject(annot.unsafeShallowCopy());
        if (copy.hasKey("/Popup"))
            copy.removeKey("/Popup");
        moveAnnotation(copy, {placement.sheet, relative, placement.visible, placement.decimals});
        Box rect;
        if (rectOf(copy, rect)) {
            // Its own rectangle: the one it was copied with is the original's.
            const Box moved = relative.apply(rect);
            copy.replaceKey("/Rect", rectangle(moved, placement.decimals));
            placed.push_back({copy, moved, true});
        }
    }
    if (general.getArrayNItems() == 0)
        return placed;
    if (!m_form)
        m_form = std::make_unique<QPDFAcroFormDocumentHelper>(m_pdf);
    std::vector<QPDFObjectHandle> copies, fields;
    std::set<QPDFObjGen> originals;
    m_form->transformAnnotations(general, copies, fields, originals,
                                 QPDFMatrix(relative.a, relative.b, relative.c, relative.d, relative.e, relative.f));
    m_form->addAndRenameFormFields(fields);
    for (QPDFObjectHandle annot : copies) {
        Box rect;
        if (annot.isDictionary() && rectOf(annot, rect))
            placed.push_back({annot, rect, true});
    }
    return placed;
}

void LinkKeeper::putOnSheet(std::vector<Placed> placed, int pageIndex, const Placement &placement)
{
    // Nothing outside the page's visible area shows: annotations wholly beyond it are
    // dropped, links are cut to it. An annotation without width or height (a link that
    // marks a spot) is kept when it lies on the area.
    const Box area = placement.cm.apply(placement.visible);
    QPDFObjectHandle sheet = placement.sheet;
    QPDFObjectHandle sheetAnnots = optionalKey(sheet, "/Annots");
    if (!sheetAnnots.isInitialized() || !sheetAnnots.isArray()) {
        sheetAnnots = QPDFObjectHandle::newArray();
        sheet.replaceKey("/Annots", sheetAnnots);
    }
    if (!placed.empty() && m_sheetsWithAnnotations.insert(sheet.getObjGen()).second)
        m_sheets.push_back(sheet);
    for (Placed &p : placed) {
        QPDFObjectHandle annot = p.annot;
        QPDFObjectHandle subtype = annot.getKey("/Subtype");
        const Box cut = intersection(p.rect, area);
        if (!(cut.width() >= 0) || !(cut.height() >= 0)) {
            if (!subtype.isNameAndEquals("/Popup")) {
                m_dropped.push_back(describe(annot, pageIndex) + " outside the page's visible area");
                continue;
            }
        } else if (subtype.isNameAndEquals("/Link")) {
            p.rect = cut;
            p.written = false;
        }
        if (!p.written)
            setRect(annot, p.rect, placement.decimals);
        if (annot.hasKey("/P"))
            annot.replaceKey("/P", sheet);
        sheetAnnots.appendItem(annot);
        m_newAnnotations.push_back({annot, pageIndex});
    }
}

void LinkKeeper::moveAnnotation(QPDFObjectHandle annot, const Placement &placement)
{
    // The rectangle is the caller's; here what else holds points of the page.
    const Matrix &cm = placement.cm;
    const int decimals = placement.decimals;
    auto movePoints = [&](QPDFObjectHandle array) {
        if (!array.isArray())
            return array;
        std::vector<QPDFObjectHandle> items = array.getArrayAsVector();
        for (size_t i = 0; i + 1 < items.size(); i += 2) {
            if (!items[i].isNumber() || !items[i + 1].isNumber())
                return array;
            const auto [x, y] = cm.map(items[i].getNumericValue(), items[i + 1].getNumericValue());
            items[i] = real(x, decimals);
            items[i + 1] = real(y, decimals);
        }
        return QPDFObjectHandle::newArray(items);
    };
    for (const char *key : {"/QuadPoints", "/Vertices", "/L", "/CL"}) {
        QPDFObjectHandle points = optionalKey(annot, key);
        if (points.isInitialized() && points.isArray())
            annot.replaceKey(key, movePoints(points));
    }
    QPDFObjectHandle ink = optionalKey(annot, "/InkList");
    if (ink.isInitialized() && ink.isArray()) {
        std::vector<QPDFObjectHandle> strokes;
        for (QPDFObjectHandle stroke : ink.aitems())
            strokes.push_back(movePoints(stroke));
        annot.replaceKey("/InkList", QPDFObjectHandle::newArray(strokes));
    }

    // An appearance is fitted into /Rect after its own matrix, so only a turn (not the
    // scale or the shift) has to be added to that matrix.
    const Matrix turn{cm.a, cm.b, cm.c, cm.d, 0, 0};
    if (turn.isUprightScale())
        return;
    QPDFObjectHandle ap = optionalKey(annot, "/AP");
    if (!ap.isInitialized() || !ap.isDictionary())
        return;
    auto turnStream = [&](QPDFObjectHandle stream) {
        if (!stream.isStream() || !m_turnedAppearances.insert(stream.getObjGen()).second)
            return;
        QPDFObjectHandle dict = stream.getDict();
        Matrix own;
        QPDFObjectHandle m = dict.getKey("/Matrix");
        if (m.isMatrix()) {
            const auto om = m.getArrayAsMatrix();
            own = {om.a, om.b, om.c, om.d, om.e, om.f};
        }
        const Matrix n = own.then(turn);
        dict.replaceKey("/Matrix", QPDFObjectHandle::newArray({real(n.a, 6), real(n.b, 6), real(n.c, 6), real(n.d, 6),
                                                               real(n.e, decimals), real(n.f, decimals)}));
    };
    for (const char *kind : {"/N", "/R", "/D"}) {
        QPDFObjectHandle v = ap.getKey(kind);
        if (v.isStream()) {
            turnStream(v);
        } else if (v.isDictionary()) {
            for (auto &state : v.ditems())
                turnStream(state.second);
        }
    }
}

QPDFObjectHandle LinkKeeper::retarget(QPDFObjectHandle dest, bool nearest) const
{
    if (!dest.isArray() || dest.getArrayNItems() < 1)
        return QPDFObjectHandle();
    QPDFObjectHandle target = dest.getArrayItem(0);
    if (!target.isIndirect())
        return QPDFObjectHandle();
    const auto index = m_pageIndex.find(target.getObjGen());
    if (index == m_pageIndex.end())
        return QPDFObjectHandle();

    auto placed = m_first.find(index->second);
    bool exact = placed != m_first.end();
    if (!exact) {
        if (!nearest || m_first.empty())
            return QPDFObjectHandle();
        placed = m_first.lower_bound(index->second);
        if (placed == m_first.end())
            placed = std::prev(m_first.end());
    }
    const Placement &p = exact ? placementFor(index->second, placed->second, dest) : placed->second;
    const Box &v = p.visible;
    // The page's top-left corner as it stands on the sheet.
    const Box area = p.cm.apply(v);
    auto point = [&](double x, double y) { return p.cm.map(x, y); };
    auto xyz = [&](double x, double y, QPDFObjectHandle zoom) {
        return QPDFObjectHandle::newArray({p.sheet, QPDFObjectHandle::newName("/XYZ"), real(x, p.decimals), real(y, p.decimals),
                                           zoom.isNumber() ? zoom : QPDFObjectHandle::newNull()});
    };
    if (!exact)
        return xyz(area.x0, area.y1, QPDFObjectHandle::newNull());

    const std::string type = dest.getArrayNItems() > 1 && dest.getArrayItem(1).isName() ? dest.getArrayItem(1).getName() : "/Fit";
    auto arg = [&](int i) { return dest.getArrayNItems() > i ? dest.getArrayItem(i) : QPDFObjectHandle::newNull(); };
    if (type == "/XYZ") {
        const auto [x, y] = point(numberOr(arg(2), v.x0), numberOr(arg(3), v.y1));
        return xyz(x, y, arg(4));
    }
    if (type == "/FitH" || type == "/FitBH") {
        const auto [x, y] = point(v.x0, numberOr(arg(2), v.y1));
        return xyz(x, y, QPDFObjectHandle::newNull());
    }
    if (type == "/FitV" || type == "/FitBV") {
        const auto [x, y] = point(numberOr(arg(2), v.x0), v.y1);
        return xyz(x, y, QPDFObjectHandle::newNull());
    }
    if (type == "/FitR" && dest.getArrayNItems() >= 6) {
        const Box r = p.cm.apply({numberOr(arg(2), v.x0), numberOr(arg(3), v.y0), numberOr(arg(4), v.x1),
                                  numberOr(arg(5), v.y1)});
        return QPDFObjectHandle::newArray({p.sheet, QPDFObjectHandle::newName("/FitR"), real(r.x0, p.decimals),
                                           real(r.y0, p.decimals), real(r.x1, p.decimals), real(r.y1, p.decimals)});
    }
    return xyz(area.x0, area.y1, QPDFObjectHandle::newNull());  // /Fit, /FitB and the unknown
}

const Placement &LinkKeeper::placementFor(int pageIndex, const Placement &first, QPDFObjectHandle dest) const
{
    const auto found = m_parts.find(pageIndex);
    if (found == m_parts.end())
        return first;
    const std::vector<Placement> &parts = found->second;
    // The destination's point on the page: either coordinate may be left open.
    const double open = std::numeric_limits<double>::quiet_NaN();
    double x = open, y = open;
    const std::string type = dest.getArrayNItems() > 1 && dest.getArrayItem(1).isName() ? dest.getArrayItem(1).getName() : "/Fit";
    auto arg = [&](int i) { return dest.getArrayNItems() > i ? numberOr(dest.getArrayItem(i), open) : open; };
    if (type == "/XYZ") {
        x = arg(2), y = arg(3);
    } else if (type == "/FitH" || type == "/FitBH") {
        y = arg(2);
    } else if (type == "/FitV" || type == "/FitBV") {
        x = arg(2);
    } else if (type == "/FitR") {
        x = (arg(2) + arg(4)) / 2, y = (arg(3) + arg(5)) / 2;
    }
    if (std::isnan(x) && std::isnan(y))
        return parts.front();
    // The part that holds it (of those that touch it, the one whose top left corner is
    // nearest, as a destination at a part's corner means that part), else the nearest.
    const auto distance = [&](const Box &b) {
        const double dx = std::isnan(x) ? 0 : std::max({b.x0 - x, 0.0, x - b.x1});
        const double dy = std::isnan(y) ? 0 : std::max({b.y0 - y, 0.0, y - b.y1});
        return std::hypot(dx, dy);
    };
    const auto corner = [&](const Box &b) {
        return std::hypot(std::isnan(x) ? 0 : x - b.x0, std::isnan(y) ? 0 : y - b.y1);
    };
    const Placement *best = &parts.front();
    double bestDistance = distance(best->visible), bestCorner = corner(best->visible);
    for (const Placement &part : parts) {
        const double d = distance(part.visible), c = corner(part.visible);
        if (d < bestDistance - 1e-6 || (std::fabs(d - bestDistance) <= 1e-6 && c < bestCorner - 1e-6)) {
            best = &part;
            bestDistance = d;
            bestCorner = c;
        }
    }
    return *best;
}

bool LinkKeeper::retargetKey(QPDFObjectHandle item, const char *key, bool nearest) const
{
    if (!item.hasKey(key))
        return true;
    QPDFObjectHandle value = item.getKey(key);
    const bool action = isGoTo(value);
    QPDFObjectHandle dest = action ? value.getKey("/D") : value;
    if ((dest.isName() || dest.isString()) && m_deadNames.count(destinationName(dest))) {
        item.removeKey(key);  // a name that led to a page not imposed
        return false;
    }
    if (!dest.isArray())
        return true;  // none, a named one, or one outside the document
    QPDFObjectHandle target = dest.getArrayNItems() > 0 ? dest.getArrayItem(0) : QPDFObjectHandle::newNull();
    if (!target.isIndirect() || !m_pageIndex.count(target.getObjGen()))
        return true;  // no page of this document (a dead link stays as dead as it was)
    QPDFObjectHandle moved = retarget(dest, nearest);
    if (!moved.isInitialized()) {
        item.removeKey(key);
        return false;
    }
    if (action) {
        // A new action: the old one may be shared with other items.
        QPDFObjectHandle copy = value.shallowCopy();
        copy.replaceKey("/D", moved);
        moved = copy;
    }
    item.replaceKey(key, moved);
    return true;
}

bool LinkKeeper::retargetItem(QPDFObjectHandle item, bool nearest) const
{
    const bool dest = retargetKey(item, "/Dest", nearest);
    return retargetKey(item, "/A", nearest) && dest;
}

void LinkKeeper::retargetNamedDestinations()
{
    // A name leads to the sheet of its page, or, where that page is not imposed, nowhere: it
    // goes, and what leads to it is dropped (finish).
    auto fix = [this](QPDFObjectHandle value) {
        // A value is a destination array or a dictionary holding one under /D.
        QPDFObjectHandle dest = value.isDictionary() ? value.getKey("/D") : value;
        if (!dest.isArray() || dest.getArrayNItems() < 1 || !dest.getArrayItem(0).isIndirect()
            || !m_pageIndex.count(dest.getArrayItem(0).getObjGen()))
            return true;  // not a page of this document: as it was
        QPDFObjectHandle moved = retarget(dest, false);
        if (!moved.isInitialized())
            return false;
        dest.setArrayFromVector(moved.getArrayAsVector());
        return true;
    };
    QPDFObjectHandle root = m_pdf.getRoot();
    QPDFObjectHandle dests = root.getKey("/Dests");
    if (dests.isDictionary()) {
        std::vector<std::string> dead;
        for (auto &item : dests.ditems()) {
            if (!fix(item.second))
                dead.push_back(item.first);
        }
        for (const std::string &name : dead) {
            dests.removeKey(name);
            m_deadNames.insert(name.substr(1));
        }
    }
    QPDFObjectHandle names = root.getKey("/Names");
    if (names.isDictionary() && names.getKey("/Dests").isDictionary()) {
        QPDFNameTreeObjectHelper tree(names.getKey("/Dests"), m_pdf);
        std::vector<std::string> dead;
        for (auto &entry : tree) {
            if (!fix(entry.second))
                dead.push_back(entry.first);
        }
        for (const std::string &name : dead) {
            tree.remove(name);
            m_deadNames.insert(name);
        }
    }
}

void LinkKeeper::retargetOutline()
{
    // A bookmark whose page is not imposed stays as a title, and its children keep theirs.
    forEachBookmark(m_pdf, [this](QPDFObjectHandle item) {
        if (!retargetItem(item, false)) {
            QPDFObjectHandle title = item.getKey("/Title");
            m_dropped.push_back("the destination of the bookmark \""
                                + (title.isString() ? title.getUTF8Value() : std::string()) + "\", whose page is not imposed");
        }
    });
}

void LinkKeeper::tidyForm()
{
    QPDFObjectHandle root = m_pdf.getRoot();
    QPDFObjectHandle acroForm = root.getKey("/AcroForm");
    if (!acroForm.isDictionary())
        return;
    // Fields none of whose widgets were placed would pull the old pages back in.
    std::set<QPDFObjGen> placed;
    for (const Annotation &a : m_newAnnotations)
        placed.insert(a.annot.getObjGen());
    std::set<QPDFObjGen> visited;
    std::function<bool(QPDFObjectHandle)> hasPlacedWidget = [&](QPDFObjectHandle field) {
        if (!field.isDictionary() || (field.isIndirect() && !visited.insert(field.getObjGen()).second))
            return false;
        if (field.isIndirect() && placed.count(field.getObjGen()))
            return true;
        QPDFObjectHandle kids = field.getKey("/Kids");
        bool any = false;
        if (kids.isArray()) {
            for (QPDFObjectHandle kid : kids.aitems())
                any = hasPlacedWidget(kid) || any;
        }
        return any;
    };
    QPDFObjectHandle fields = acroForm.getKey("/Fields");
    std::vector<QPDFObjectHandle> kept;
    if (fields.isArray()) {
        for (QPDFObjectHandle field : fields.aitems()) {
            if (hasPlacedWidget(field))
                kept.push_back(field);
        }
    }
    if (kept.empty()) {
        root.removeKey("/AcroForm");
        return;
    }
    acroForm.replaceKey("/Fields", QPDFObjectHandle::newArray(kept));
}

void LinkKeeper::releasePage(int pageIndex)
{
    QPDFObjectHandle &page = m_pages.at(size_t(pageIndex));
    if (page.isInitialized() && page.isIndirect())
        m_pdf.replaceObject(page.getObjGen(), QPDFObjectHandle::newNull());
    page = QPDFObjectHandle();
}

void LinkKeeper::releaseOldPages()
{
    for (size_t i = 0; i < m_pages.size(); ++i)
        releasePage(int(i));
}

void LinkKeeper::finish()
{
    retargetNamedDestinations();
    // Links to pages that were left out lose their target here and leave the sheets.
    std::set<QPDFObjGen> removed;
    for (const Annotation &a : m_newAnnotations) {
        QPDFObjectHandle annot = a.annot;
        if (!retargetItem(annot, false) && annot.getKey("/Subtype").isNameAndEquals("/Link")) {
            removed.insert(annot.getObjGen());
            m_dropped.push_back(describe(annot, a.page) + " whose target page is not imposed");
        }
    }
    if (!removed.empty()) {
        for (QPDFObjectHandle &sheet : m_sheets) {
            QPDFObjectHandle annots = sheet.getKey("/Annots");
            std::vector<QPDFObjectHandle> kept;
            for (QPDFObjectHandle annot : annots.aitems()) {
                if (!removed.count(annot.getObjGen()))
                    kept.push_back(annot);
            }
            annots.setArrayFromVector(kept);
        }
        std::vector<Annotation> still;
        for (Annotation &a : m_newAnnotations) {
            if (!removed.count(a.annot.getObjGen()))
                still.push_back(a);
        }
        m_newAnnotations.swap(still);
    }
    retargetOutline();
    retargetKey(m_pdf.getRoot(), "/OpenAction", true);
    tidyForm();
    releaseOldPages();
}

void LinkKeeper::forgetDestinations()
{
    for (const Annotation &a : m_newAnnotations) {
        QPDFObjectHandle annot = a.annot;
        if (annot.hasKey("/Dest"))
            annot.removeKey("/Dest");
        if (annot.hasKey("/A") && isGoTo(annot.getKey("/A")))
            annot.removeKey("/A");
        // A field's other widgets lie on other sheets.
        if (annot.hasKey("/Parent") && annot.getKey("/Subtype").isNameAndEquals("/Widget"))
            annot.removeKey("/Parent");
    }
}

Kept LinkKeeper::kept() const
{
    Kept k;
    std::set<QPDFObjGen> fields;
    for (const Annotation &a : m_newAnnotations) {
        QPDFObjectHandle annot = a.annot;
        QPDFObjectHandle subtype = annot.getKey("/Subtype");
        if (subtype.isNameAndEquals("/Link")) {
            ++k.links;
        } else if (subtype.isNameAndEquals("/Widget")) {
            // A widget is its field, or one of the widgets of its parent field.
            QPDFObjectHandle field = annot;
            if (!field.hasKey("/T") && field.hasKey("/Parent") && field.getKey("/Parent").isDictionary())
                field = field.getKey("/Parent");
            fields.insert(field.getObjGen());
        }
    }
    k.fields = fields.size();
    forEachBookmark(m_pdf, [&k](QPDFObjectHandle) { ++k.bookmarks; });
    k.dropped = m_dropped.size();
    return k;
}
