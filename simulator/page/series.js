// A job's results on a page (the monitor's, the live view's): each
// target's last displacement, its level and its time series, drawn by the
// server as the report draws it, and the events as they are raised; the
// page hands each message of its feed to showJobMessage.
"use strict";

const KEPT_EVENTS = 50;
const COMPONENTS = ["east", "north", "height", "horizontal", "3d"];

const jobView = {
  rows: new Map(), // target -> its row of last values
  figures: new Map(), // target -> its figure
};

function jobCell(row, text, className) {
  const td = row.insertCell();
  td.textContent = text;
  if (className) td.className = className;
  return td;
}

// A value that rounds to zero reads 0.0, whatever its sign, as in the report.
const millimetres = (metres) => {
  const text = (metres * 1000).toFixed(1);
  return text === "-0.0" ? "0.0" : text;
};

function jobSection(parent, heading, note) {
  const section = document.createElement("section");
  const title = document.createElement("h2");
  title.textContent = `${heading} `;
  const small = document.createElement("small");
  small.textContent = note;
  title.appendChild(small);
  section.appendChild(title);
  parent.appendChild(section);
  return section;
}

function jobTable(section, id, columns) {
  const table = document.createElement("table");
  table.id = id;
  const head = table.createTHead().insertRow();
  for (const column of columns) {
    const th = document.createElement("th");
    th.textContent = column;
    head.appendChild(th);
  }
  table.createTBody();
  section.appendChild(table);
}

// The sections the job's results fill, added to the container.
function buildJobView(container) {
  const last = jobSection(container, "Last values",
                          "millimetres from each target's reference epoch");
  const status = document.createElement("p");
  status.id = "store-status";
  status.hidden = true;
  last.appendChild(status);
  jobTable(last, "last-values", ["target", "measured", "round", "dE", "dN",
                                 "dH", "horizontal", "3d", "level"]);
  const series = jobSection(container, "Displacements over time", "limits dashed");
  const figures = document.createElement("div");
  figures.id = "series";
  series.appendChild(figures);
  jobTable(jobSection(container, "Events", "latest first"), "events",
           ["time", "target", "level", "component", "value", "limit", "round"]);
}

// The series arrives as SVG text; it is parsed as SVG, never as HTML, so
// that nothing in it runs.
function parsedSvg(text) {
  const parsed = new DOMParser().parseFromString(text, "image/svg+xml");
  const root = parsed.documentElement;
  if (root.nodeName !== "svg") return null;
  return document.importNode(root, true);
}

function showJob(message) {
  for (const name of document.querySelectorAll(".job-name")) {
    name.textContent = message.name;
  }
  const body = document.querySelector("#last-values tbody");
  const series = document.getElementById("series");
  body.replaceChildren();
  series.replaceChildren();
  jobView.rows.clear();
  jobView.figures.clear();
  for (const target of message.targets) {
    const row = body.insertRow();
    row.dataset.target = target;
    jobView.rows.set(target, row);
    const figure = document.createElement("figure");
    figure.dataset.target = target;
    const caption = document.createElement("figcaption");
    caption.textContent = target;
    figure.appendChild(caption);
    series.appendChild(figure);
    jobView.figures.set(target, figure);
  }
}

function showTarget(message) {
  const row = jobView.rows.get(message.target);
  const figure = jobView.figures.get(message.target);
  if (!row || !figure) return;
  row.replaceChildren();
  jobCell(row, message.target);
  jobCell(row, message.time ? message.time.slice(0, 19).replace("T", " ") : "–");
  jobCell(row, message.round ?? "–", "n");
  for (const component of COMPONENTS) {
    const value = message[component];
    jobCell(row, typeof value === "number" ? millimetres(value) : "–", "n");
  }
  jobCell(row, message.level, message.level);
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
  jobCell(row, event.time.slice(0, 19).replace("T", " "));
  jobCell(row, event.target);
  jobCell(row, event.level, event.level);
  jobCell(row, event.component);
  jobCell(row, millimetres(event.value) + unit, "n");
  jobCell(row, millimetres(event.limit) + unit, "n");
  jobCell(row, event.round, "n");
  while (body.rows.length > KEPT_EVENTS) body.deleteRow(-1);
}

// How reading the job's store goes, when the page follows one.
function showStore(message) {
  const status = document.getElementById("store-status");
  status.hidden = message.state === "following";
  status.className = message.state;
  status.textContent = message.state === "waiting"
    ? `Waiting for the store: ${message.message}`
    : `Cannot read the store: ${message.message}`;
}

// Shows the message if it is about the job; returns whether it was.
function showJobMessage(message) {
  if (message.type === "job") showJob(message);
  else if (message.type === "target") showTarget(message);
  else if (message.type === "event") showEvent(message.event, true);
  else if (message.type === "events") {
    document.querySelector("#events tbody").replaceChildren();
    for (const each of message.events.slice().reverse()) showEvent(each, false);
  } else if (message.type === "store") showStore(message);
  else return false;
  return true;
}
