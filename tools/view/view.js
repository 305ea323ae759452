// The page of tavrik-host view: a model coloured by its skins, with WebGL2.
// The page says how it started in its title ("tavrik view: ready", or
// "tavrik view: error: ..."), where a test reads it.
'use strict';

const ramp_stops = [[68, 1, 84], [59, 82, 139], [33, 145, 140], [94, 201, 98], [253, 231, 37]];  // viridis
const warning = [255, 0, 255];  // no influence, a sum that is not 1
const neutral = [128, 128, 128];  // nothing to show
const modes = {
  joint: 'weight of the joint',
  dominant: 'joint that dominates',
  influences: 'number of influences',
  sum: 'weights whose sum is not 1',
  unbound: 'vertices without influence',
  change: 'size of the change',
};

function fail(message) {
  document.title = 'tavrik view: error: ' + message;
}
window.addEventListener('error', (event) => fail(event.message));

function ramp(t) {
  t = Math.min(Math.max(t, 0), 1) * (ramp_stops.length - 1);
  const i = Math.min(Math.floor(t), ramp_stops.length - 2), f = t - i;
  const a = ramp_stops[i], b = ramp_stops[i + 1];
  return [a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f, a[2] + (b[2] - a[2]) * f];
}

function bytes(base64) {
  const text = atob(base64);
  const out = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) out[i] = text.charCodeAt(i);
  return out.buffer;
}

// The meshes as one: positions, normals, triangles, and the skins by vertex
// (first[v] .. first[v + 1] into joint and weight).
function gather(data) {
  let vertices = 0, corners = 0, bindings = 0;
  const meshes = data.meshes.map((m) => {
    const mesh = {
      path: m.path, first: vertices,
      positions: new Float32Array(bytes(m.positions)), triangles: new Uint32Array(bytes(m.triangles)),
      counts: new Uint8Array(bytes(m.counts)), joints: new Uint16Array(bytes(m.joints)),
      weights: new Float32Array(bytes(m.weights)), change: m.change ? new Float32Array(bytes(m.change)) : null,
    };
    mesh.vertices = mesh.counts.length;
    vertices += mesh.vertices; corners += mesh.triangles.length; bindings += mesh.joints.length;
    return mesh;
  });
  const all = {
    meshes, vertices, positions: new Float32Array(vertices * 3), normals: new Float32Array(vertices * 3),
    triangles: new Uint32Array(corners), first: new Uint32Array(vertices + 1), joint: new Uint16Array(bindings),
    weight: new Float32Array(bindings), change: data.compare ? new Float32Array(vertices) : null, owner: new Uint32Array(vertices),
  };
  let corner = 0, binding = 0;
  meshes.forEach((mesh, index) => {
    all.positions.set(mesh.positions, mesh.first * 3);
    for (let i = 0; i < mesh.triangles.length; ++i) all.triangles[corner++] = mesh.triangles[i] + mesh.first;
    all.joint.set(mesh.joints, binding);
    all.weight.set(mesh.weights, binding);
    for (let v = 0; v < mesh.vertices; ++v) {
      all.first[mesh.first + v] = binding;
      binding += mesh.counts[v];
      all.owner[mesh.first + v] = index;
    }
    if (all.change && mesh.change) all.change.set(mesh.change, mesh.first);
  });
  all.first[vertices] = binding;
  const p = all.positions, n = all.normals, t = all.triangles;
  for (let i = 0; i + 2 < t.length; i += 3) {
    const a = t[i] * 3, b = t[i + 1] * 3, c = t[i + 2] * 3;
    const ux = p[b] - p[a], uy = p[b + 1] - p[a + 1], uz = p[b + 2] - p[a + 2];
    const vx = p[c] - p[a], vy = p[c + 1] - p[a + 1], vz = p[c + 2] - p[a + 2];
    const nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    for (const k of [a, b, c]) { n[k] += nx; n[k + 1] += ny; n[k + 2] += nz; }
  }
  return all;
}

// Each vertex's colour in a mode.
function colours(all, data, mode, joint) {
  const out = new Uint8Array(all.vertices * 4);
  let high = 1;
  if (mode === 'influences') for (let v = 0; v < all.vertices; ++v) high = Math.max(high, all.first[v + 1] - all.first[v], 8);
  if (mode === 'change') for (let v = 0; v < all.vertices; ++v) high = Math.max(high === 1 ? 0 : high, all.change[v]);
  if (mode === 'change' && !(high > 0)) high = 1;
  for (let v = 0; v < all.vertices; ++v) {
    const from = all.first[v], to = all.first[v + 1];
    let sum = 0, own = 0, best = -1, best_weight = -Infinity;
    for (let b = from; b < to; ++b) {
      sum += all.weight[b];
      if (all.joint[b] === joint) own += all.weight[b];
      if (all.weight[b] > best_weight) { best_weight = all.weight[b]; best = all.joint[b]; }
    }
    let c = neutral;
    const bound = to > from;
    if (mode === 'joint') c = bound ? ramp(own) : warning;
    else if (mode === 'dominant') c = bound ? hue(best) : warning;
    else if (mode === 'influences') c = bound ? ramp((to - from - 1) / (high - 1)) : warning;
    else if (mode === 'sum') c = Math.abs(sum - 1) > 1e-3 ? warning : neutral;
    else if (mode === 'unbound') c = bound ? neutral : warning;
    else if (mode === 'change') c = all.change[v] > 0 ? ramp(all.change[v] / high) : neutral;
    out[v * 4] = c[0]; out[v * 4 + 1] = c[1]; out[v * 4 + 2] = c[2]; out[v * 4 + 3] = 255;
  }
  return { out, high };
}

// A colour of its own for each joint: hues a golden angle apart.
function hue(index) {
  const h = (index * 137.508) % 360 / 60, x = 1 - Math.abs(h % 2 - 1);
  const rgb = h < 1 ? [1, x, 0] : h < 2 ? [x, 1, 0] : h < 3 ? [0, 1, x] : h < 4 ? [0, x, 1] : h < 5 ? [x, 0, 1] : [1, 0, x];
  return rgb.map((c) => 40 + c * 200);
}

function compile(gl, vertex, fragment) {
  const program = gl.createProgram();
  for (const [type, id] of [[gl.VERTEX_SHADER, vertex], [gl.FRAGMENT_SHADER, fragment]]) {
    const shader = gl.createShader(type);
    gl.shaderSource(shader, document.getElementById(id).textContent.trim());
    gl.compileShader(shader);
    if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(id + ': ' + gl.getShaderInfoLog(shader));
    gl.attachShader(program, shader);
  }
  gl.linkProgram(program);
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
  return program;
}

function buffer(gl, program, name, array, size, type, normalized) {
  const location = gl.getAttribLocation(program, name);
  const b = gl.createBuffer();
  gl.bindBuffer(gl.ARRAY_BUFFER, b);
  gl.bufferData(gl.ARRAY_BUFFER, array, gl.STATIC_DRAW);
  gl.enableVertexAttribArray(location);
  gl.vertexAttribPointer(location, size, type, normalized, 0, 0);
  return b;
}

function start() {
  const data = JSON.parse(document.getElementById('tavrik-data').textContent);
  const canvas = document.getElementById('view');
  const gl = canvas.getContext('webgl2', { antialias: false, preserveDrawingBuffer: true });
  if (!gl) throw new Error('this browser has no WebGL2');
  const all = gather(data);
  const program = compile(gl, 'mesh-vertex', 'mesh-fragment');

  // The box around everything: the camera turns about its centre.
  const low = [Infinity, Infinity, Infinity], high = [-Infinity, -Infinity, -Infinity];
  const extend = (x, y, z) => { const p = [x, y, z]; for (let k = 0; k < 3; ++k) { low[k] = Math.min(low[k], p[k]); high[k] = Math.max(high[k], p[k]); } };
  for (let i = 0; i < all.positions.length; i += 3) extend(all.positions[i], all.positions[i + 1], all.positions[i + 2]);
  for (const j of data.joints) extend(j.at[0], j.at[1], j.at[2]);
  if (!(low[0] <= high[0])) { low.fill(-1); high.fill(1); }
  const centre = low.map((l, k) => (l + high[k]) / 2);
  const radius = Math.max(1e-9, Math.hypot(high[0] - low[0], high[1] - low[1], high[2] - low[2]) / 2);

  const mesh = gl.createVertexArray();
  gl.bindVertexArray(mesh);
  buffer(gl, program, 'position', all.positions, 3, gl.FLOAT, false);
  buffer(gl, program, 'normal', all.normals, 3, gl.FLOAT, false);
  const colour_buffer = buffer(gl, program, 'colour', new Uint8Array(all.vertices * 4), 4, gl.UNSIGNED_BYTE, true);
  const index_buffer = gl.createBuffer();
  gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, index_buffer);
  gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, all.triangles, gl.STATIC_DRAW);

  // The joints as lines to their parents and points, over the mesh.
  const bones = [];
  data.joints.forEach((j) => { if (j.parent >= 0) bones.push(...data.joints[j.parent].at, ...j.at); });
  const points = new Float32Array(data.joints.flatMap((j) => j.at));
  const skeleton = gl.createVertexArray();
  gl.bindVertexArray(skeleton);
  const lines = new Float32Array([...bones, ...points]);
  buffer(gl, program, 'position', lines, 3, gl.FLOAT, false);
  gl.vertexAttrib3f(gl.getAttribLocation(program, 'normal'), 0, 0, 0);
  gl.vertexAttrib4f(gl.getAttribLocation(program, 'colour'), 1, 1, 1, 1);
  gl.bindVertexArray(null);

  const state = { yaw: 0, pitch: 0, zoom: 1, mode: 'joint', joint: 0 };
  const hash = new URLSearchParams(location.hash.slice(1));
  const joint_index = (path) => data.joints.findIndex((j) => j.path === path);
  if (data.joint && joint_index(data.joint) >= 0) state.joint = joint_index(data.joint);
  if (hash.get('joint') !== null && joint_index(hash.get('joint')) >= 0) state.joint = joint_index(hash.get('joint'));
  if (hash.get('mode') in modes) state.mode = hash.get('mode');
  if (data.compare && !hash.get('mode')) state.mode = 'change';
  if (state.mode === 'change' && !data.compare) state.mode = 'joint';
  if (hash.get('ui') === '0') for (const id of ['panel', 'legend']) document.getElementById(id).classList.add('hidden');

  // Orthographic: the model's box fits the window with a tenth to spare,
  // then the zoom; the depth spans the box.
  function matrices() {
    const w = Math.max(1, canvas.clientWidth), h = Math.max(1, canvas.clientHeight);
    const cy = Math.cos(state.yaw), sy = Math.sin(state.yaw), cp = Math.cos(state.pitch), sp = Math.sin(state.pitch);
    // Turn about y, then about x; rows of the rotation.
    const r = [[cy, 0, sy], [sy * sp, cp, -cy * sp], [-sy * cp, sp, cy * cp]];
    let rx = 1e-9 * radius, ry = 1e-9 * radius;
    for (const x of [low[0], high[0]]) for (const y of [low[1], high[1]]) for (const z of [low[2], high[2]]) {
      const d = [x - centre[0], y - centre[1], z - centre[2]];
      rx = Math.max(rx, Math.abs(r[0][0] * d[0] + r[0][1] * d[1] + r[0][2] * d[2]));
      ry = Math.max(ry, Math.abs(r[1][0] * d[0] + r[1][1] * d[1] + r[1][2] * d[2]));
    }
    const unit = state.zoom * 0.9 * Math.min(w / (2 * rx), h / (2 * ry));  // pixels per unit
    const s = [unit * 2 / w, unit * 2 / h, -0.5 / radius];
    const m = new Float32Array(16);
    for (let row = 0; row < 3; ++row) {
      for (let col = 0; col < 3; ++col) m[col * 4 + row] = r[row][col] * s[row];
      m[12 + row] = -s[row] * (r[row][0] * centre[0] + r[row][1] * centre[1] + r[row][2] * centre[2]);
    }
    m[15] = 1;
    const rot = new Float32Array([r[0][0], r[1][0], r[2][0], r[0][1], r[1][1], r[2][1], r[0][2], r[1][2], r[2][2]]);
    return { m, rot };
  }

  let last_matrix = null;
  function draw() {
    const w = Math.max(1, Math.round(canvas.clientWidth * devicePixelRatio)), h = Math.max(1, Math.round(canvas.clientHeight * devicePixelRatio));
    if (canvas.width !== w || canvas.height !== h) { canvas.width = w; canvas.height = h; }
    gl.viewport(0, 0, w, h);
    gl.clearColor(30 / 255, 31 / 255, 34 / 255, 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    gl.useProgram(program);
    const { m, rot } = matrices();
    last_matrix = m;
    gl.uniformMatrix4fv(gl.getUniformLocation(program, 'view_projection'), false, m);
    gl.uniformMatrix3fv(gl.getUniformLocation(program, 'view_rotation'), false, rot);
    gl.enable(gl.DEPTH_TEST);
    gl.bindVertexArray(mesh);
    gl.drawElements(gl.TRIANGLES, all.triangles.length, gl.UNSIGNED_INT, 0);
    gl.disable(gl.DEPTH_TEST);
    gl.bindVertexArray(skeleton);
    gl.drawArrays(gl.LINES, 0, bones.length / 3);
    gl.drawArrays(gl.POINTS, bones.length / 3, points.length / 3);
    gl.bindVertexArray(null);
  }

  const legend_name = document.getElementById('legend-name'), bar = document.getElementById('bar');
  function recolour() {
    const { out, high } = colours(all, data, state.mode, state.joint);
    gl.bindBuffer(gl.ARRAY_BUFFER, colour_buffer);
    gl.bufferData(gl.ARRAY_BUFFER, out, gl.STATIC_DRAW);
    const joint = data.joints[state.joint];
    legend_name.textContent = modes[state.mode] + (state.mode === 'joint' && joint ? ': ' + joint.path : '');
    const stops = ramp_stops.map((c, i) => `rgb(${c}) ${(i * 100) / (ramp_stops.length - 1)}%`).join(', ');
    const swatch = (c) => `linear-gradient(90deg, rgb(${c}) 50%, rgb(${warning}) 50%)`;
    bar.style.background = ['sum', 'unbound'].includes(state.mode) ? swatch(neutral)
                         : state.mode === 'dominant' ? `linear-gradient(90deg, ${[0, 1, 2, 3, 4, 5].map((i) => `rgb(${hue(i)})`).join(', ')})`
                         : `linear-gradient(90deg, ${stops})`;
    document.getElementById('low').textContent = ['sum', 'unbound'].includes(state.mode) ? 'fine' : state.mode === 'influences' ? '1' : '0';
    document.getElementById('high').textContent = ['sum', 'unbound'].includes(state.mode) ? 'look here'
        : state.mode === 'influences' ? String(high) : state.mode === 'change' ? high.toPrecision(3) : state.mode === 'dominant' ? '' : '1';
    draw();
  }

  // The panel: modes, and joints by path, searchable.
  const mode_list = document.getElementById('mode'), joint_list = document.getElementById('joints'), search = document.getElementById('search');
  for (const [key, label] of Object.entries(modes)) {
    if (key === 'change' && !data.compare) continue;
    mode_list.add(new Option(label, key, false, key === state.mode));
  }
  function list_joints() {
    const wanted = search.value.toLowerCase();
    joint_list.innerHTML = '';
    // Each joint by its name first, its path after: paths share their starts.
    data.joints.forEach((j, i) => {
      if (j.path.toLowerCase().includes(wanted)) joint_list.add(new Option(j.path.split('/').pop() + '  \u2190 ' + j.path, i, false, i === state.joint));
    });
  }
  document.getElementById('heading').textContent = data.title + (data.compare ? ' against ' + data.compare : '') + ': ' + all.vertices + ' vertices, ' + data.joints.length + ' joints';
  search.addEventListener('input', list_joints);
  mode_list.addEventListener('change', () => { state.mode = mode_list.value; recolour(); });
  joint_list.addEventListener('change', () => { state.joint = Number(joint_list.value); state.mode = 'joint'; mode_list.value = 'joint'; recolour(); });
  list_joints();

  // Turning with the left button, zooming with the wheel.
  let dragging = null;
  canvas.addEventListener('mousedown', (e) => { dragging = [e.clientX, e.clientY]; });
  window.addEventListener('mouseup', () => { dragging = null; });
  canvas.addEventListener('wheel', (e) => { e.preventDefault(); state.zoom *= Math.exp(-e.deltaY * 0.001); draw(); }, { passive: false });
  const tip = document.getElementById('tip');
  let hover_timer = 0;
  window.addEventListener('mousemove', (e) => {
    if (dragging) {
      state.yaw += (e.clientX - dragging[0]) * 0.01;
      state.pitch = Math.max(-1.5, Math.min(1.5, state.pitch + (e.clientY - dragging[1]) * 0.01));
      dragging = [e.clientX, e.clientY];
      draw();
      return;
    }
    clearTimeout(hover_timer);
    tip.style.display = 'none';
    hover_timer = setTimeout(() => hover(e.clientX, e.clientY), 60);
  });
  window.addEventListener('resize', draw);

  // The bindings of the vertex nearest the pointer on the screen, in front.
  function hover(x, y) {
    const rect = canvas.getBoundingClientRect(), m = last_matrix;
    const px = ((x - rect.left) / rect.width) * 2 - 1, py = 1 - ((y - rect.top) / rect.height) * 2;
    const limit = (8 / rect.width) * 2, p = all.positions;
    let best = -1, best_d = Infinity, best_z = Infinity;
    for (let v = 0; v < all.vertices; ++v) {
      const X = m[0] * p[v * 3] + m[4] * p[v * 3 + 1] + m[8] * p[v * 3 + 2] + m[12];
      const Y = m[1] * p[v * 3] + m[5] * p[v * 3 + 1] + m[9] * p[v * 3 + 2] + m[13];
      const Z = m[2] * p[v * 3] + m[6] * p[v * 3 + 1] + m[10] * p[v * 3 + 2] + m[14];
      const d = Math.hypot(X - px, Y - py);
      // The front-most within a few pixels; of those at one depth, the nearest.
      if (d < limit && (Z < best_z - 1e-6 || (Z <= best_z + 1e-6 && d < best_d))) { best = v; best_d = d; best_z = Z; }
    }
    if (best < 0) return;
    const mesh = all.meshes[all.owner[best]];
    let text = mesh.path + ', vertex ' + (best - mesh.first);
    if (all.first[best] === all.first[best + 1]) text += '\nno influence';
    for (let b = all.first[best]; b < all.first[best + 1]; ++b) text += '\n' + all.weight[b].toFixed(4) + '  ' + data.joints[all.joint[b]].path;
    if (all.change) text += '\nchange ' + all.change[best].toPrecision(3);
    tip.textContent = text;
    tip.style.left = x + 12 + 'px';
    tip.style.top = y + 12 + 'px';
    tip.style.display = 'block';
  }

  recolour();
  document.title = 'tavrik view: ready';
}

try {
  start();
} catch (error) {
  fail(error.message);
}
