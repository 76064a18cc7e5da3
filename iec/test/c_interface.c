/* The library's header as generated controller code sees it: plain C. One
 * call of every family; the count of wrong answers is returned to the test. */
#include "iec_1131.h"

int iec_c_interface_failures(void);

int iec_c_interface_failures(void) {
    int failures = 0;
    int16_t last_in = 0;
    int32_t mark = 0, cv = 0;
    float elapsed = 0.0f;
    CharCell *text;
    IntCell span[4] = {{0}}; /* T#0 */

    failures += real_to_int_OUT(2.5f) != 2;
    failures += int_to_sint_OUT(300) != 0 || LIBFB_ERR != 1000;
    failures += dint_to_BCD_dword_OUT(1234) != 0x1234u;
    text = byte_to_string_OUT(10);
    failures += array_char_len(text) != 5 || array_char_size(text) != 6;
    failures += r_trig_Q(1, &last_in) != 1 || r_trig_Q(1, &last_in) != 0;
    failures += ton_ms_Q(1, -1, &mark, &elapsed, &cv) != 0 || LIBFB_ERR != 1081;
    failures += len_OUT(text) != 5 || array_char_len(mid_OUT(text, 2, 4)) != 2 || LIBFB_ERR != 0;
    failures += div_t_int_OUT(span, 0)[3].cur != 0 || LIBFB_ERR != 1013;
    failures += shl_byte_OUT(0x81, 1) != 0x02 || add_dint_OUT(INT32_MAX, 1) != INT32_MIN;
    return failures;
}
