#version 300 es
// A vertex of the model: placed by the camera, its colour shaded by how
// squarely its surface faces the viewer.
uniform mat4 view_projection;
uniform mat3 view_rotation;
in vec3 position;
in vec3 normal;
in vec4 colour;
out vec4 shaded;
void main() {
    gl_Position = view_projection * vec4(position, 1.0);
    gl_PointSize = 5.0;
    vec3 n = view_rotation * normal;
    float light = length(n) > 0.0 ? 0.35 + 0.65 * abs(normalize(n).z) : 1.0;
    shaded = vec4(colour.rgb * light, colour.a);
}
