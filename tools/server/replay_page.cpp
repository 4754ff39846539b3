// Writing the replay page.  The provinces are drawn once; each phase keeps
// its owners (province tints) and the SVG of its centres, units, orders and
// legend, which a small script swaps in.  No script, style or font comes
// from outside the file.
#include "tools/server/replay_page.h"

#include <filesystem>
#include <fstream>

#include "tools/common/json_quote.h"
#include "tools/server/notation.h"

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

std::string phase_json(const ReplayPhase &phase) {
    std::string out = "{\"title\":" + json_quote_for_script(phase.title) +
                      ",\"picture\":" + json_quote_for_script(phase.picture) + ",\"owners\":[";
    for (size_t p = 0; p < phase.owners.size(); p++) out += (p ? "," : "") + std::to_string(phase.owners[p]);
    out += "],\"overlay\":" + json_quote_for_script(phase.overlay) + ",\"orders\":[";
    for (size_t o = 0; o < phase.orders.size(); o++) {
        const ReplayOrder &order = phase.orders[o];
        out += (o ? ",[" : "[") + std::to_string(order.power) + "," + json_quote_for_script(order.text) + "," +
               json_quote_for_script(order.outcome) + "]";
    }
    return out + "]}";
}

std::string page_data(const Game *game, const BoardPicture &board) {
    const Layout &layout = game->generated.layout;
    std::string out = "{\"powers\":[";
    for (uint16_t p = 0; p < game_map(game)->power_count; p++)
        out += (p ? "," : "") + std::string("{\"name\":") + json_quote_for_script(power_name(game->generated.layout, p)) +
               ",\"colour\":" + json_quote_for_script(p < layout.powers.size() ? layout.powers[p].colour : "#808080") +
               ",\"tint\":" + json_quote_for_script(board_owner_tint(layout, p)) + "}";
    out += "],\"plain\":[";
    for (size_t p = 0; p < board.owners.size(); p++)
        out += (p ? "," : "") + json_quote_for_script(board_plain_fill(layout, game_map(game), p));
    out += "],\"phases\":[";
    for (size_t i = 0; i < game->replay.size(); i++) out += (i ? ",\n" : "\n") + phase_json(game->replay[i]);
    return out + "]}";
}

std::string centre_table(const Game *game) {
    const Layout &layout = game->generated.layout;
    std::string out = "<table id=\"centres\"><thead><tr><th>Power</th>";
    for (const CentreCount &count : game->centre_history) out += "<th>" + html_text(count.label) + "</th>";
    out += "</tr></thead><tbody>\n";
    for (uint16_t p = 0; p < game_map(game)->power_count; p++) {
        std::string colour = p < layout.powers.size() ? layout.powers[p].colour : "#808080";
        out += "<tr data-power=\"" + std::to_string(p) + "\"><th><span class=\"swatch\" style=\"background:" +
               board_owner_tint(layout, p) + ";border-color:" + colour + "\"></span>" +
               html_text(power_name(game->generated.layout, p)) + "</th>";
        for (const CentreCount &count : game->centre_history)
            out += "<td>" + std::to_string(p < count.per_power.size() ? count.per_power[p] : 0) + "</td>";
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
.swatch { display: inline-block; width: 0.8em; height: 0.8em; border: 3px solid; margin-right: 0.4em; vertical-align: middle; }
.failed { color: #c00000; font-weight: bold; }
.hint { color: #606060; font-size: 0.85em; }
)";

const char SCRIPT[] = R"(
const data = JSON.parse(document.getElementById('replay-data').textContent);
const slider = document.getElementById('slider');
const overlay = document.getElementById('overlay');
const failed = new Set(['bounced', 'cut', 'no-such-order', 'not-carried', 'dislodged']);
let current = 0;

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
  const body = document.querySelector('#orders tbody');
  body.replaceChildren();
  for (const [power, text, outcome] of phase.orders) {
    const row = body.insertRow();
    row.insertCell().textContent = data.powers[power] ? data.powers[power].name : 'Power ' + power;
    row.insertCell().textContent = text;
    const cell = row.insertCell();
    cell.textContent = outcome;
    if (failed.has(outcome)) cell.className = 'failed';
  }
  document.getElementById('no-orders').hidden = phase.orders.length > 0;
  document.getElementById('first').disabled = document.getElementById('previous').disabled = current === 0;
  document.getElementById('next').disabled = document.getElementById('last').disabled =
    current === data.phases.length - 1;
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
show(0);
)";

}  // namespace

bool replay_page_write(const Game *game, std::string *error) {
    if (game->replay.empty() || !game->referee) return true;
    BoardPicture board = board_picture(game->generated.layout, game_map(game), game_position(game)->centres, game_position(game));
    std::string head = board.head;
    if (head.rfind("<?xml", 0) == 0) head = head.substr(head.find('\n') + 1);
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Game replay: map " +
                       html_text(game->map_name) + "</title>\n<style>" + STYLE + "</style>\n</head>\n<body>\n";
    html += "<h1>Game replay: map " + html_text(game->map_name) + ", " + std::to_string(game_map(game)->power_count) +
            " powers</h1>\n";
    html += "<div id=\"controls\"><button id=\"first\" title=\"Home\">&#x25C0;&#x25C0; First</button>"
            "<button id=\"previous\" title=\"Left arrow\">&#x25C0; Previous</button>"
            "<span id=\"phase-title\"></span>"
            "<button id=\"next\" title=\"Right arrow\">Next &#x25B6;</button>"
            "<button id=\"last\" title=\"End\">Last &#x25B6;&#x25B6;</button>"
            "<input type=\"range\" id=\"slider\" min=\"0\" max=\"" + std::to_string(game->replay.size() - 1) +
            "\" value=\"0\" aria-label=\"phase\"><span id=\"phase-number\"></span></div>\n";
    html += "<p class=\"hint\">Left and right arrow keys step through the phases; Home and End jump to the first "
            "and the last. This phase's picture: <a id=\"picture\" href=\"#\"></a></p>\n";
    html += "<div id=\"board\">" + head + board.base + "<g id=\"overlay\"></g></svg></div>\n";
    html += "<h2>Orders</h2><p id=\"no-orders\" class=\"hint\">The final position: no orders.</p>\n"
            "<table id=\"orders\"><thead><tr><th>Power</th><th>Order</th><th>Outcome</th></tr></thead>"
            "<tbody></tbody></table>\n";
    html += "<h2>Supply centres by year</h2>\n" + centre_table(game) + "\n";
    html += "<script type=\"application/json\" id=\"replay-data\">" + page_data(game, board) + "</script>\n";
    html += "<script>" + std::string(SCRIPT) + "</script>\n</body>\n</html>\n";

    std::string path = (std::filesystem::path(game->options.out) / REPLAY_PAGE_FILE).string();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << html;
    file.close();
    if (!file) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}
