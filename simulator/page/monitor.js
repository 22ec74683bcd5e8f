// The page of a running monitor: a WebSocket feed of each target's last
// displacement, its level and its time series, drawn by the monitor as the
// report draws it, and of the events as they are raised.
"use strict";

const KEPT_EVENTS = 50;
const COMPONENTS = ["east", "north", "height", "horizontal", "3d"];

const view = {
  targets: [], // in the job's order
  rows: new Map(), // target -> its row of last values
  figures: new Map(), // target -> its figure
};

function cell(row, text, className) {
  const td = row.insertCell();
  td.textContent = text;
  if (className) td.className = className;
  return td;
}

const millimetres = (metres) => (metres * 1000).toFixed(1);

// The series arrives as SVG text; it is parsed as SVG, never as HTML, so
// that nothing in it runs.
function parsedSvg(text) {
  const parsed = new DOMParser().parseFromString(text, "image/svg+xml");
  const root = parsed.documentElement;
  if (root.nodeName !== "svg") return null;
  return document.importNode(root, true);
}

function showJob(message) {
  document.getElementById("job").textContent = `Monitoring ${message.name}`;
  document.title = `Monitoring ${message.name}`;
  view.targets = message.targets;
  const body = document.querySelector("#last-values tbody");
  const series = document.getElementById("series");
  body.replaceChildren();
  series.replaceChildren();
  view.rows.clear();
  view.figures.clear();
  for (const target of message.targets) {
    const row = body.insertRow();
    row.dataset.target = target;
    view.rows.set(target, row);
    const figure = document.createElement("figure");
    figure.dataset.target = target;
    const caption = document.createElement("figcaption");
    caption.textContent = target;
    figure.appendChild(caption);
    series.appendChild(figure);
    view.figures.set(target, figure);
  }
}

function showTarget(message) {
  const row = view.rows.get(message.target);
  const figure = view.figures.get(message.target);
  if (!row || !figure) return;
  row.replaceChildren();
  cell(row, message.target);
  cell(row, message.time ? message.time.slice(0, 19).replace("T", " ") : "–");
  cell(row, message.round ?? "–", "n");
  for (const component of COMPONENTS) {
    const value = message[component];
    cell(row, typeof value === "number" ? millimetres(value) : "–", "n");
  }
  cell(row, message.level, message.level);
  const svg = message.svg ? parsedSvg(message.svg) : null;
  figure.querySelector("svg")?.remove();
  figure.querySelector("p")?.remove();
  if (svg) {
    figure.appendChild(svg);
  } else {
    const none = document.createElement("p");
    none.textContent = "no displacement yet: the reference epoch comes from the first complete round";
    figure.appendChild(none);
  }
}

function showEvent(event, atTop) {
  const body = document.querySelector("#events tbody");
  const row = atTop ? body.insertRow(0) : body.insertRow();
  const unit = event.unit === "m/d" ? " mm/d" : " mm";
  cell(row, event.time.slice(0, 19).replace("T", " "));
  cell(row, event.target);
  cell(row, event.level, event.level);
  cell(row, event.component);
  cell(row, millimetres(event.value) + unit, "n");
  cell(row, millimetres(event.limit) + unit, "n");
  cell(row, event.round, "n");
  while (body.rows.length > KEPT_EVENTS) body.deleteRow(-1);
}

function connect() {
  const badge = document.getElementById("connection");
  const socket = new WebSocket(`ws://${location.host}/feed`);
  socket.addEventListener("open", () => {
    badge.textContent = "live";
    badge.className = "badge";
  });
  socket.addEventListener("message", (event) => {
    const message = JSON.parse(event.data);
    if (message.type === "job") showJob(message);
    if (message.type === "target") showTarget(message);
    if (message.type === "event") showEvent(message.event, true);
    if (message.type === "events") {
      document.querySelector("#events tbody").replaceChildren();
      for (const each of message.events.slice().reverse()) showEvent(each, false);
    }
  });
  socket.addEventListener("close", () => {
    badge.textContent = "reconnecting";
    badge.className = "badge off";
    setTimeout(connect, 1000);
  });
}

connect();
