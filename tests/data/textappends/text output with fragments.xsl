<?xml version="1.0"?>
<!-- A variable built per point between the texts of a text export. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="text"/>
<xsl:template match="/">
  <xsl:text>start&#10;</xsl:text>
  <xsl:for-each select="//Point">
    <xsl:variable name="label"><xsl:call-template name="label"/></xsl:variable>
    <xsl:value-of select="concat($label, ';')"/>
    <xsl:variable name="empty"/>
    <xsl:text>|</xsl:text>
    <xsl:variable name="again"><xsl:value-of select="$label"/>!</xsl:variable>
    <xsl:value-of select="$again"/>
    <xsl:text>&#10;</xsl:text>
  </xsl:for-each>
</xsl:template>
<xsl:template name="label">P<xsl:value-of select="@id"/>-<xsl:value-of select="@code"/></xsl:template>
</xsl:stylesheet>
