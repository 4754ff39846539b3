// Writing a game's replay: the pictures of its phases and the page.  The
// page draws the provinces once; each phase keeps its owners (province
// tints), the SVG of its centres, units, orders and legend, which a small
// script swaps in, and its orders.  No script, style or font comes from
// outside the file.
#include "tools/replay/replay.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/common/json_quote.h"
#include "tools/replay/phase_board.h"

namespace fs = std::filesystem;

namespace {

std::string html_text(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

bool write_file(const fs::path &path, const std::string &text, std::string *error) {
    std::error_code failure;
    fs::create_directories(path.parent_path(), failure);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) *error = "cannot write " + path.string();
    return static_cast<bool>(file);
}

// A name from the record that stays inside the output folder: relative,
// of letters, digits, '.', '_', '-' and '/', without empty or dot parts.
bool plain_picture_name(const std::string &name) {
    if (name.size() < 5 || name.size() > 200 || name.compare(name.size() - 4, 4, ".svg") != 0) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-' && c != '/') return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

// ---------------------------------------------------------------------------
// What the page lists
// ---------------------------------------------------------------------------

bool movement(const RecordPhase &phase) { return phase.season == "spring" || phase.season == "fall"; }

// The orders the page lists, grouped by power: all of a movement phase;
// in retreats and winter only those of units that had something to do
// (the rest "held").
std::vector<const RecordOrder *> listed_orders(const RecordPhase &phase) {
    std::vector<const RecordOrder *> listed;
    for (const RecordOrder &order : phase.orders)
        if (movement(phase) || order.outcome != "held") listed.push_back(&order);
    std::stable_sort(listed.begin(), listed.end(),
                     [](const RecordOrder *a, const RecordOrder *b) { return a->power < b->power; });
    return listed;
}

std::vector<std::string> power_names(const GameRecordRead &record) {
    std::vector<std::string> names;
    for (const LayoutPower &power : record.layout.powers) names.push_back(power.name);
    for (const RecordPhase &phase : record.phases)
        for (const RecordPower &power : phase.powers) {
            if (power.power < 0 || power.power >= MAX_POWERS) continue;
            if (names.size() <= static_cast<size_t>(power.power)) names.resize(static_cast<size_t>(power.power) + 1);
            if (!power.name.empty()) names[static_cast<size_t>(power.power)] = power.name;
        }
    for (size_t p = 0; p < names.size(); p++)
        if (names[p].empty()) names[p] = "Power " + std::to_string(p);
    return names;
}

std::string phase_json(const Layout &layout, const RecordPhase &phase, size_t number) {
    BoardPicture picture = board_picture(layout, phase_board(layout, phase));
    std::string out = "{\"title\":" + json_quote_for_script(record_phase_title(phase)) +
                      ",\"picture\":" + json_quote_for_script(replay_picture_name(phase, number)) + ",\"owners\":[";
    for (size_t p = 0; p < picture.owners.size(); p++) out += (p ? "," : "") + std::to_string(picture.owners[p]);
    out += "],\"overlay\":" + json_quote_for_script(picture.overlay) + ",\"final\":" + (phase.final ? "true" : "false");
    std::vector<const RecordOrder *> listed = listed_orders(phase);
    out += ",\"unlisted\":" + std::to_string(phase.orders.size() - listed.size()) + ",\"orders\":[";
    for (size_t o = 0; o < listed.size(); o++)
        out += (o ? ",[" : "[") + std::to_string(listed[o]->power) + "," + json_quote_for_script(listed[o]->text) +
               "," + json_quote_for_script(listed[o]->outcome) + "]";
    return out + "]}";
}

std::string page_data(const GameRecordRead &record, const std::vector<std::string> &names) {
    const Layout &layout = record.layout;
    std::string out = "{\"powers\":[";
    for (size_t p = 0; p < names.size(); p++)
        out += (p ? "," : "") + std::string("{\"name\":") + json_quote_for_script(names[p]) +
               ",\"colour\":" + json_quote_for_script(p < layout.powers.size() ? layout.powers[p].colour : "#808080") +
               ",\"tint\":" + json_quote_for_script(board_owner_tint(layout, static_cast<int>(p))) + "}";
    out += "],\"plain\":[";
    for (size_t p = 0; p < layout.provinces.size(); p++)
        out += (p ? "," : "") + json_quote_for_script(board_plain_fill(layout, p));
    out += "],\"phases\":[";
    for (size_t i = 0; i < record.phases.size(); i++)
        out += (i ? ",\n" : "\n") + phase_json(layout, record.phases[i], i + 1);
    return out + "]}";
}

// Supply centres per power at the start and after each year whose fall
// (or autumn) brought a new ownership, from the line that follows it.
std::string centre_table(const GameRecordRead &record, const std::vector<std::string> &names) {
    struct Column {
        std::string label;
        const RecordPhase *phase;
    };
    std::vector<Column> columns = {{"start", &record.phases.front()}};
    for (size_t i = 0; i + 1 < record.phases.size(); i++) {
        const RecordPhase &before = record.phases[i], &after = record.phases[i + 1];
        if ((before.season == "fall" || before.season == "autumn") &&
            (after.season == "winter" || after.season == "spring"))
            columns.push_back({std::to_string(before.year), &after});
    }
    std::string out = "<table id=\"centres\"><thead><tr><th>Power</th>";
    for (const Column &column : columns) out += "<th>" + html_text(column.label) + "</th>";
    out += "</tr></thead><tbody>\n";
    for (size_t p = 0; p < names.size(); p++) {
        std::string colour = p < record.layout.powers.size() ? record.layout.powers[p].colour : "#808080";
        out += "<tr data-power=\"" + std::to_string(p) + "\"><th><span class=\"swatch\" style=\"background:" +
               board_owner_tint(record.layout, static_cast<int>(p)) + ";border-color:" + colour + "\"></span>" +
               html_text(names[p]) + "</th>";
        for (const Column &column : columns) {
            int centres = 0;
            for (const RecordPower &power : column.phase->powers)
                if (power.power == static_cast<int>(p)) centres = power.centres;
            out += "<td>" + std::to_string(centres) + "</td>";
        }
        out += "</tr>\n";
    }
    return out + "</tbody></table>";
}

const char STYLE[] = R"(
body { font-family: sans-serif; margin: 1em; color: #202020; }
h1 { font-size: 1.3em; margin: 0 0 0.4em 0; }
h2 { font-size: 1.1em; margin: 1em 0 0.4em 0; }
#controls { display: flex; gap: 0.5em; align-items: center; margin-bottom: 0.5em; flex-wrap: wrap; }
#controls input[type=range] { flex: 1; min-width: 12em; }
#phase-title { font-weight: bold; min-width: 8em; }
#board svg { max-width: 100%; height: auto; border: 1px solid #c0c0c0; }
table { border-collapse: collapse; font-size: 0.9em; }
th, td { border: 1px solid #d0d0d0; padding: 0.15em 0.5em; text-align: left; }
td { text-align: right; }
#orders td { text-align: left; }
#orders tr.group th { background: #f0f0f0; padding-top: 0.3em; }
.swatch { display: inline-block; width: 0.8em; height: 0.8em; border: 3px solid; margin-right: 0.4em; vertical-align: middle; }
.failed { color: #e00000; font-weight: bold; }
.hint { color: #606060; font-size: 0.85em; }
)";

const char SCRIPT[] = R"(
const data = JSON.parse(document.getElementById('replay-data').textContent);
const slider = document.getElementById('slider');
const overlay = document.getElementById('overlay');
const failed = new Set(['bounced', 'cut', 'no-such-order', 'not-carried', 'dislodged']);
let current = 0;

// The phase the address names: #phase=N counts from 1.
function phaseFromAddress() {
  const match = /^#phase=(\d+)$/.exec(window.location.hash);
  return match ? Number(match[1]) - 1 : null;
}

function powerName(power) {
  return data.powers[power] ? data.powers[power].name : 'Power ' + power;
}

function listOrders(phase) {
  const body = document.querySelector('#orders tbody');
  body.replaceChildren();
  let group = -1;
  for (const [power, text, outcome] of phase.orders) {
    if (power !== group) {
      group = power;
      const head = body.insertRow();
      head.className = 'group';
      head.dataset.power = power;
      const cell = document.createElement('th');
      cell.colSpan = 2;
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      if (data.powers[power]) {
        swatch.style.background = data.powers[power].tint;
        swatch.style.borderColor = data.powers[power].colour;
      }
      cell.append(swatch, powerName(power));
      head.append(cell);
    }
    const row = body.insertRow();
    row.dataset.power = power;
    row.insertCell().textContent = text;
    const cell = row.insertCell();
    cell.textContent = outcome;
    if (failed.has(outcome)) cell.className = 'failed';
  }
  document.getElementById('no-orders').hidden = !phase.final;
  const unlisted = document.getElementById('unlisted');
  unlisted.hidden = phase.unlisted === 0;
  unlisted.textContent = phase.unlisted + (phase.unlisted === 1 ? ' unit' : ' units') +
    ' with nothing to do in this phase (each held) not listed.';
}

function show(index) {
  current = Math.max(0, Math.min(data.phases.length - 1, index));
  const phase = data.phases[current];
  document.getElementById('phase-title').textContent = phase.title;
  document.getElementById('phase-number').textContent =
    'phase ' + (current + 1) + ' of ' + data.phases.length;
  const link = document.getElementById('picture');
  link.href = phase.picture;
  link.textContent = phase.picture;
  slider.value = current;
  phase.owners.forEach((owner, province) => {
    const path = document.getElementById('province-' + province);
    if (path) path.setAttribute('fill', owner >= 0 ? data.powers[owner].tint : data.plain[province]);
  });
  overlay.innerHTML = phase.overlay;
  listOrders(phase);
  document.getElementById('first').disabled = document.getElementById('previous').disabled = current === 0;
  document.getElementById('next').disabled = document.getElementById('last').disabled =
    current === data.phases.length - 1;
  const address = '#phase=' + (current + 1);
  if (window.location.hash !== address) history.replaceState(null, '', address);
}

document.getElementById('first').onclick = () => show(0);
document.getElementById('previous').onclick = () => show(current - 1);
document.getElementById('next').onclick = () => show(current + 1);
document.getElementById('last').onclick = () => show(data.phases.length - 1);
slider.oninput = () => show(Number(slider.value));
document.addEventListener('keydown', event => {
  if (event.target === slider) return;  // the slider moves itself
  if (event.key === 'ArrowLeft') show(current - 1);
  else if (event.key === 'ArrowRight') show(current + 1);
  else if (event.key === 'Home') show(0);
  else if (event.key === 'End') show(data.phases.length - 1);
  else return;
  event.preventDefault();
});
window.addEventListener('hashchange', () => {
  const wanted = phaseFromAddress();
  if (wanted !== null && wanted !== current) show(wanted);
});
show(phaseFromAddress() ?? 0);
)";

}  // namespace

std::string replay_picture_name(const RecordPhase &phase, size_t number) {
    if (plain_picture_name(phase.picture)) return phase.picture;
    if (phase.final) return REPLAY_FINAL_PICTURE;
    char name[96];
    std::snprintf(name, sizeof name, "%s/%04zu-%d-%s.svg", REPLAY_PICTURE_FOLDER, number, phase.year,
                  plain_picture_name(phase.season + ".svg") ? phase.season.c_str() : "phase");
    return name;
}

bool replay_picture_write(const Layout &layout, const RecordPhase &phase, size_t number, const std::string &folder,
                          std::string *error) {
    return write_file(fs::path(folder) / replay_picture_name(phase, number),
                      board_svg(layout, phase_board(layout, phase)), error);
}

std::string replay_page(const GameRecordRead &record) {
    std::vector<std::string> names = power_names(record);
    // The document's size with a phase's legend and key, as every phase has.
    BoardPicture board = board_picture(record.layout, phase_board(record.layout, record.phases.back()));
    std::string head = board.head;
    if (head.rfind("<?xml", 0) == 0) head = head.substr(head.find('\n') + 1);
    std::string map = record.map_name.empty() ? "" : ": map " + html_text(record.map_name);
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Game replay" +
                       map + "</title>\n<style>" + STYLE + "</style>\n</head>\n<body>\n";
    html += "<h1>Game replay" + map + ", " + std::to_string(names.size()) + " powers</h1>\n";
    html += "<div id=\"controls\"><button id=\"first\" title=\"Home\">&#x25C0;&#x25C0; First</button>"
            "<button id=\"previous\" title=\"Left arrow\">&#x25C0; Previous</button>"
            "<span id=\"phase-title\"></span>"
            "<button id=\"next\" title=\"Right arrow\">Next &#x25B6;</button>"
            "<button id=\"last\" title=\"End\">Last &#x25B6;&#x25B6;</button>"
            "<input type=\"range\" id=\"slider\" min=\"0\" max=\"" + std::to_string(record.phases.size() - 1) +
            "\" value=\"0\" aria-label=\"phase\"><span id=\"phase-number\"></span></div>\n";
    html += "<p class=\"hint\">Left and right arrow keys step through the phases; Home and End jump to the first "
            "and the last. The address (replay.html#phase=N) names the phase shown. This phase's picture: "
            "<a id=\"picture\" href=\"#\"></a></p>\n";
    html += "<div id=\"board\">" + head + board.base + "<g id=\"overlay\"></g>" + board.labels + "</svg></div>\n";
    html += "<h2>Orders</h2><p id=\"no-orders\" class=\"hint\">The final position: no orders.</p>\n"
            "<p id=\"unlisted\" class=\"hint\"></p>\n"
            "<table id=\"orders\"><thead><tr><th>Order</th><th>Outcome</th></tr></thead><tbody></tbody></table>\n";
    html += "<h2>Supply centres by year</h2>\n" + centre_table(record, names) + "\n";
    html += "<script type=\"application/json\" id=\"replay-data\">" + page_data(record, names) + "</script>\n";
    html += "<script>" + std::string(SCRIPT) + "</script>\n</body>\n</html>\n";
    return html;
}

bool replay_write(const GameRecordRead &record, const std::string &folder, bool pictures, std::string *error) {
    if (pictures)
        for (size_t i = 0; i < record.phases.size(); i++)
            if (!replay_picture_write(record.layout, record.phases[i], i + 1, folder, error)) return false;
    return write_file(fs::path(folder) / REPLAY_PAGE_FILE, replay_page(record), error);
}
