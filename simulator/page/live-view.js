// The live view of a virtual instrument: a WebSocket feed of its state and
// of every exchange, drawn as a plan and a table; steering goes through
// the same server's JSON API.
"use strict";

const SVG = "http://www.w3.org/2000/svg";
const PLAN_SIZE = 600;
const MARGIN = 40;
const KEPT_ROWS = 200;
const MOVE_INTERVAL_MS = 100;

const view = {
  state: null,
  scale: null, // metres to pixels, fixed while dragging
  dragging: null,
  ratesShown: false,
  shown: new Set(), // the numbers of the exchanges in the table
};

function element(name, attributes, parent) {
  const node = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  if (parent) parent.appendChild(node);
  return node;
}

// Every value as a surveyor reads it: angles and turning speeds in degrees
// to a ten-thousandth (a third of an arc second), distances in metres to a
// tenth of a millimetre, and a length below a millimetre (a wavelength) to
// four significant digits; the server says which values are which.
const degrees = (radians) => (radians * 180 / Math.PI).toFixed(4);
const UNITS = {
  rad: (value) => `${degrees(value)}°`,
  "rad/s": (value) => `${degrees(value)}°/s`,
  m: (value) => `${Math.abs(value) >= 1e-3 || value === 0
    ? value.toFixed(4) : value.toPrecision(4)} m`,
};

function formatted(value, unit) {
  if (typeof value !== "number") return String(value);
  if (UNITS[unit]) return UNITS[unit](value);
  const text = Number.isInteger(value) ? String(value) : String(Number(value.toPrecision(8)));
  return unit ? `${text} ${unit}` : text;
}

// The plan's frame: every prism and the station fit, the station's
// surroundings at least 20 m wide.
function frame(state) {
  const points = [state.station, ...state.prisms];
  const eastings = points.map((p) => p.easting);
  const northings = points.map((p) => p.northing);
  const centreE = (Math.min(...eastings) + Math.max(...eastings)) / 2;
  const centreN = (Math.min(...northings) + Math.max(...northings)) / 2;
  const span = Math.max(20, Math.max(...eastings) - Math.min(...eastings),
                        Math.max(...northings) - Math.min(...northings));
  const scale = (PLAN_SIZE - 2 * MARGIN) / span;
  return { centreE, centreN, scale };
}

function toScreen(f, easting, northing) {
  return [PLAN_SIZE / 2 + (easting - f.centreE) * f.scale,
          PLAN_SIZE / 2 - (northing - f.centreN) * f.scale];
}

function toGround(f, x, y) {
  return [f.centreE + (x - PLAN_SIZE / 2) / f.scale,
          f.centreN - (y - PLAN_SIZE / 2) / f.scale];
}

// A grid bearing (clockwise from north) as a screen direction.
function bearingPoint(f, origin, bearing, metres) {
  return toScreen(f, origin.easting + Math.sin(bearing) * metres,
                  origin.northing + Math.cos(bearing) * metres);
}

function wedge(f, station, from, to, metres, cls, parent) {
  const [sx, sy] = toScreen(f, station.easting, station.northing);
  const [ax, ay] = bearingPoint(f, station, from, metres);
  const [bx, by] = bearingPoint(f, station, to, metres);
  const large = to - from > Math.PI ? 1 : 0;
  const radius = metres * f.scale;
  element("path", {
    class: cls,
    d: `M${sx},${sy} L${ax},${ay} A${radius},${radius} 0 ${large} 1 ${bx},${by} Z`,
  }, parent);
}

// Where a prism's name goes: above and to the right of its mark, turned
// inwards where that would leave the plan.
function besideMark(x, y) {
  const nearRight = x > PLAN_SIZE - 64;
  return {
    x: nearRight ? -11 : 11,
    y: y < 24 ? 20 : -9,
    "text-anchor": nearRight ? "end" : "start",
  };
}

function drawPlan(state) {
  const plan = document.getElementById("plan");
  const f = view.dragging ? view.scale : frame(state);
  view.scale = f;
  plan.replaceChildren();
  const reach = 2 * PLAN_SIZE / f.scale;
  const step = Math.pow(10, Math.floor(Math.log10(PLAN_SIZE / f.scale / 4)));
  const [left, top] = toGround(f, 0, 0);
  const [right, bottom] = toGround(f, PLAN_SIZE, PLAN_SIZE);
  for (let e = Math.ceil(left / step) * step; e <= right; e += step) {
    const [x] = toScreen(f, e, 0);
    element("line", { class: "grid", x1: x, y1: 0, x2: x, y2: PLAN_SIZE }, plan);
  }
  for (let n = Math.ceil(bottom / step) * step; n <= top; n += step) {
    const [, y] = toScreen(f, 0, n);
    element("line", { class: "grid", x1: 0, y1: y, x2: PLAN_SIZE, y2: y }, plan);
  }
  document.getElementById("scale").textContent =
    `grid ${step} m · ${f.scale.toFixed(2)} px/m · north up`;

  const station = state.station;
  const orientation = station.orientation;
  const window = state.search_window;
  if (window.enabled) {
    const centre = window.centre_hz + orientation;
    wedge(f, station, centre - window.range_hz / 2, centre + window.range_hz / 2,
          reach, "window", plan);
  }
  const bearing = state.telescope.hz + orientation;
  const half = state.field_of_view / 2;
  wedge(f, station, bearing - half, bearing + half, reach, "field", plan);
  const [sx, sy] = toScreen(f, station.easting, station.northing);
  const [bx, by] = bearingPoint(f, station, bearing, reach);
  element("line", { class: "beam", x1: sx, y1: sy, x2: bx, y2: by }, plan);
  element("path", {
    class: "station",
    d: `M${sx},${sy - 9} L${sx + 8},${sy + 6} L${sx - 8},${sy + 6} Z`,
  }, plan);
  const label = element("text", { x: sx + 10, y: sy + 16, class: "prism" }, plan);
  label.textContent = station.id;

  for (const prism of state.prisms) {
    const [x, y] = toScreen(f, prism.easting, prism.northing);
    const locked = state.locked_prism === prism.id;
    const group = element("g", {
      class: locked ? "prism locked" : "prism",
      "data-id": prism.id,
      transform: `translate(${x},${y})`,
    }, plan);
    element("circle", { r: 8 }, group);
    const name = element("text", besideMark(x, y), group);
    name.textContent = prism.id;
    group.addEventListener("pointerdown", (event) => startDrag(event, prism));
  }
}

function startDrag(event, prism) {
  event.preventDefault();
  view.dragging = { id: prism.id, height: prism.height, sent: 0, last: null };
  document.getElementById("plan").setPointerCapture(event.pointerId);
}

function planPoint(event) {
  const plan = document.getElementById("plan");
  const box = plan.getBoundingClientRect();
  return [(event.clientX - box.left) * PLAN_SIZE / box.width,
          (event.clientY - box.top) * PLAN_SIZE / box.height];
}

function dragTo(event, final) {
  const drag = view.dragging;
  if (!drag) return;
  const [x, y] = planPoint(event);
  const [easting, northing] = toGround(view.scale, x, y);
  drag.last = { easting, northing };
  const group = document.querySelector(`.prism[data-id="${CSS.escape(drag.id)}"]`);
  if (group) group.setAttribute("transform", `translate(${x},${y})`);
  const now = performance.now();
  if (final || now - drag.sent >= MOVE_INTERVAL_MS) {
    drag.sent = now;
    movePrism(drag.id, drag.last);
  }
  if (final) view.dragging = null;
}

async function api(method, path, body) {
  // Every change is sent as JSON: the server refuses any other kind, which
  // a page of another site could send.
  const response = await fetch(path, {
    method,
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify(body ?? {}),
  });
  const answer = await response.json();
  if (!response.ok) throw new Error(answer.error || response.statusText);
  return answer;
}

function report(id, promise) {
  const status = document.getElementById(id);
  promise.then(() => { status.textContent = ""; },
               (error) => { status.textContent = error.message; });
}

function movePrism(id, position) {
  report("control-message",
         api("PUT", `/api/prisms/${encodeURIComponent(id)}`, position));
}

function showFaultRows(state) {
  const rows = document.getElementById("fault-rows");
  if (!view.ratesShown) {
    for (const kind of Object.keys(state.fault_rates)) {
      const row = document.createElement("tr");
      row.innerHTML = `<td>${kind}</td><td><input type="number" min="0" max="1" step="0.01" name="${kind}"></td><td class="applied" data-kind="${kind}">0</td>`;
      rows.appendChild(row);
      row.querySelector("input").value = state.fault_rates[kind];
    }
    view.ratesShown = true;
  }
  for (const cell of rows.querySelectorAll(".applied")) {
    cell.textContent = state.faults[cell.dataset.kind] ?? 0;
  }
}

function showState(state) {
  view.state = state;
  drawPlan(state);
  const text = (id, value) => { document.getElementById(id).textContent = value; };
  text("hz", formatted(state.telescope.hz, "rad"));
  text("v", formatted(state.telescope.v, "rad"));
  text("motors", state.telescope.moving ? "turning" : "still");
  text("atr", state.atr ? "on" : "off");
  text("lock", state.lock ? "on" : "off");
  text("locked", state.locked_prism ?? "none");
  document.getElementById("battery").value = state.battery;
  text("battery-text", `${state.battery.toFixed(1)} %`);
  text("clock", state.clock);
  text("calls", state.calls);
  text("clients", state.clients.length ? state.clients.join(", ") : "none");
  document.getElementById("paused").hidden = !state.paused;
  showFaultRows(state);
}

// Values by name, "key=value" apart by spaces; a long one may break after
// its "=", never inside its number.
function describe(values, units) {
  const text = document.createDocumentFragment();
  Object.entries(values ?? {}).forEach(([key, value], index) => {
    if (index > 0) text.append(" ");
    text.append(`${key}=`, document.createElement("wbr"), formatted(value, units?.[key]));
  });
  return text;
}

// A return code with the name the toolkit gives it, if any: "8710 no-target".
function returnCode(exchange) {
  if (exchange.return_code == null) return "–";
  const name = exchange.return_code_name;
  return name ? `${exchange.return_code} ${name}` : String(exchange.return_code);
}

// Adds the exchange in its place, newest first, once.
function showExchange(exchange) {
  if (view.shown.has(exchange.number)) return;
  view.shown.add(exchange.number);
  const body = document.querySelector("#exchanges tbody");
  const row = document.createElement("tr");
  row.dataset.number = exchange.number;
  row.dataset.name = exchange.name ?? "";
  row.dataset.fault = exchange.fault;
  if (exchange.fault) row.className = "faulty";
  const cells = [
    exchange.number,
    exchange.client,
    exchange.name ?? exchange.request_bytes,
    describe(exchange.arguments, exchange.units),
    returnCode(exchange),
    describe(exchange.values, exchange.units),
    `${exchange.round_trip_ms.toFixed(1)} ms`,
  ];
  for (const value of cells) {
    const cell = document.createElement("td");
    cell.append(value);
    row.appendChild(cell);
  }
  row.children[4].className = exchange.return_code ? "code-bad" : "";
  if (exchange.return_code_meaning) row.children[4].title = exchange.return_code_meaning;
  row.children[3].className = "arguments";
  row.children[5].className = "values";
  const fault = document.createElement("td");
  if (exchange.fault) {
    const badge = document.createElement("span");
    badge.className = "fault";
    badge.textContent = exchange.fault;
    fault.appendChild(badge);
  }
  row.appendChild(fault);
  row.title = `${exchange.request_bytes} → ${exchange.reply_bytes}`;
  const older = [...body.children].find((other) => Number(other.dataset.number) < exchange.number);
  body.insertBefore(row, older ?? null);
  while (body.children.length > KEPT_ROWS) {
    view.shown.delete(Number(body.lastChild.dataset.number));
    body.lastChild.remove();
  }
}

// The feed sends what happens from now on; what happened before is in the
// traffic log.
async function showEarlierExchanges() {
  const response = await fetch("/api/traffic");
  if (!response.ok) return;
  const exchanges = await response.json();
  exchanges.slice(-KEPT_ROWS).forEach(showExchange);
}

function connect() {
  const badge = document.getElementById("connection");
  const socket = new WebSocket(`ws://${location.host}/feed`);
  socket.addEventListener("open", () => {
    badge.textContent = "live";
    badge.className = "badge";
    showEarlierExchanges().catch(() => {});
  });
  socket.addEventListener("message", (event) => {
    const message = JSON.parse(event.data);
    if (message.type === "state") showState(message);
    if (message.type === "exchanges") message.exchanges.forEach(showExchange);
    // Given a job, the view shows its results too.
    if (showJobMessage(message) && message.type === "job") {
      document.getElementById("job-view").hidden = false;
    }
  });
  socket.addEventListener("close", () => {
    badge.textContent = "reconnecting";
    badge.className = "badge off";
    setTimeout(connect, 1000);
  });
}

function setUp() {
  const plan = document.getElementById("plan");
  plan.addEventListener("pointermove", (event) => dragTo(event, false));
  plan.addEventListener("pointerup", (event) => dragTo(event, true));
  plan.addEventListener("pointercancel", (event) => dragTo(event, true));
  document.getElementById("faults").addEventListener("submit", (event) => {
    event.preventDefault();
    const rates = {};
    for (const input of event.target.querySelectorAll("input")) {
      rates[input.name] = Number(input.value);
    }
    report("fault-message", api("PUT", "/api/faults", rates));
  });
  document.getElementById("faults-only").addEventListener("change", (event) => {
    document.getElementById("traffic").classList.toggle("faults-only", event.target.checked);
  });
  document.getElementById("pause").addEventListener("click",
    () => report("control-message", api("POST", "/api/pause")));
  document.getElementById("resume").addEventListener("click",
    () => report("control-message", api("POST", "/api/resume")));
  document.getElementById("reset").addEventListener("click",
    () => report("control-message", api("POST", "/api/reset")));
  buildJobView(document.getElementById("job-view"));
  connect();
}

setUp();
