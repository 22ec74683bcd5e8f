// The page of a running monitor: the job's results (series.js), pushed
// over a WebSocket feed as each target is measured.
"use strict";

function connect() {
  const badge = document.getElementById("connection");
  const socket = new WebSocket(`ws://${location.host}/feed`);
  socket.addEventListener("open", () => {
    badge.textContent = "live";
    badge.className = "badge";
  });
  socket.addEventListener("message", (event) => {
    const message = JSON.parse(event.data);
    showJobMessage(message);
    if (message.type === "job") document.title = `Monitoring ${message.name}`;
  });
  socket.addEventListener("close", () => {
    badge.textContent = "reconnecting";
    badge.className = "badge off";
    setTimeout(connect, 1000);
  });
}

buildJobView(document.querySelector("main"));
connect();
