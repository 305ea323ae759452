#version 300 es
precision mediump float;
in vec4 shaded;
out vec4 fragment;
void main() {
    fragment = shaded;
}
